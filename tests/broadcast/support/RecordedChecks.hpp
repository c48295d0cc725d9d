#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace broadcast_tests {

// A broadcast recording as every broadcast must come out: H.264 Constrained
// Baseline 3.1 1280x720 with strictly increasing decode times, every frame the
// service's `summary` says was sent, at least nine in ten of its `ticks`, the
// last picture that of the last tick delivered, AAC 48 kHz stereo lasting as
// long as the video within 100 ms and as long as the sound delivered within
// one AAC frame, and nothing ffmpeg complains about when decoding it.
void expectBroadcastFormat(const std::filesystem::path& recording, const std::string& summary, std::size_t ticks);

}  // namespace broadcast_tests
