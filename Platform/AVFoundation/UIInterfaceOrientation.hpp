#pragma once

namespace platform {

// Which way up the user interface is drawn; landscape is named the other way
// round from the device, as turning the device left turns the interface right.
enum class UIInterfaceOrientation : int {
  unknown = 0,
  portrait = 1,
  portraitUpsideDown = 2,
  landscapeLeft = 4,
  landscapeRight = 3,
};

constexpr int rawValue(UIInterfaceOrientation orientation) noexcept { return static_cast<int>(orientation); }

}  // namespace platform
