#pragma once

#include <optional>
#include <type_traits>

namespace platform {

// Which way up captured video is delivered.
enum class AVCaptureVideoOrientation : int {
  portrait = 1,
  portraitUpsideDown = 2,
  // Home button (or its place) on the right.
  landscapeRight = 3,
  landscapeLeft = 4,
};

template <class Enum>
std::optional<Enum> fromRawValue(std::underlying_type_t<Enum> raw) noexcept;

constexpr int rawValue(AVCaptureVideoOrientation orientation) noexcept { return static_cast<int>(orientation); }

template <>
constexpr std::optional<AVCaptureVideoOrientation> fromRawValue<AVCaptureVideoOrientation>(int raw) noexcept {
  if (raw < rawValue(AVCaptureVideoOrientation::portrait) || raw > rawValue(AVCaptureVideoOrientation::landscapeLeft)) {
    return std::nullopt;
  }
  return static_cast<AVCaptureVideoOrientation>(raw);
}

}  // namespace platform
