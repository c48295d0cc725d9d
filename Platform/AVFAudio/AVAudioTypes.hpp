#pragma once

#include <cstdint>

namespace platform {

using AVAudioFrameCount = std::uint32_t;
using AVAudioPacketCount = std::uint32_t;
using AVAudioChannelCount = std::uint32_t;
// A sample position; negative before the stream's origin.
using AVAudioFramePosition = std::int64_t;

}  // namespace platform
