#pragma once

#include <cstdint>

namespace platform {

// The sample layouts that PCM buffers hand out typed channel pointers for.
enum class AVAudioCommonFormat : std::uint32_t {
  otherFormat = 0,
  pcmFormatFloat32 = 1,
  pcmFormatFloat64 = 2,
  pcmFormatInt16 = 3,
  pcmFormatInt32 = 4,
};

constexpr std::uint32_t rawValue(AVAudioCommonFormat format) noexcept { return static_cast<std::uint32_t>(format); }

}  // namespace platform
