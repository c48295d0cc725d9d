#pragma once

#include <filesystem>

namespace broadcast_tests {

// A broadcast recording as every broadcast must come out: H.264 Constrained
// Baseline 3.1 1280x720 with strictly increasing decode times and
// `videoFrames` ± 10 frames, AAC 48 kHz stereo lasting as long as the video
// within 100 ms, and nothing ffmpeg complains about when decoding it.
void expectBroadcastFormat(const std::filesystem::path& recording, int videoFrames);

}  // namespace broadcast_tests
