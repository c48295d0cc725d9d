#pragma once

namespace platform {

// How the device is held.
enum class UIDeviceOrientation : int {
  unknown = 0,
  portrait = 1,
  portraitUpsideDown = 2,
  // Home button (or its place) on the right.
  landscapeLeft = 3,
  landscapeRight = 4,
  faceUp = 5,
  faceDown = 6,
};

constexpr int rawValue(UIDeviceOrientation orientation) noexcept { return static_cast<int>(orientation); }

}  // namespace platform
