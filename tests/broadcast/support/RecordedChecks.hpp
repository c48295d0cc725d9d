#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace broadcast_tests {

// A broadcast recording as every broadcast must come out: H.264 Constrained
// Baseline 3.1 1280x720 with strictly increasing decode times, every frame the
// service's `summary` says was sent, at least nine in ten of its `ticks`, AAC
// 48 kHz stereo lasting as long as the video within 100 ms, and nothing ffmpeg
// complains about when decoding it.
void expectBroadcastFormat(const std::filesystem::path& recording, const std::string& summary, std::size_t ticks);

// A recording of the synthetic picture and tone loses nothing at its end: its
// last picture is the last of the `ticks` the service delivered, and its
// sound runs to the end of the last sound delivered, within one AAC frame.
void expectWholeEnd(const std::filesystem::path& recording, const std::string& summary, std::size_t ticks);

}  // namespace broadcast_tests
