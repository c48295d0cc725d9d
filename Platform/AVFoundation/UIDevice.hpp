#pragma once

#include <atomic>
#include <memory>
#include <string_view>

#include "Platform/AVFoundation/UIDeviceOrientation.hpp"

namespace platform {

// Posted by the device (as object) when its orientation changes.
inline constexpr std::string_view UIDeviceOrientationDidChangeNotification = "UIDeviceOrientationDidChangeNotification";

// The machine as a handheld device. Nothing here senses how it is held: the
// host program or a test states the orientation.
class UIDevice {
 public:
  static const std::shared_ptr<UIDevice>& current();

  UIDeviceOrientation orientation() const noexcept { return orientation_; }
  // Posts the change notification when the orientation changes.
  void setOrientation(UIDeviceOrientation orientation);

 private:
  UIDevice() = default;
  std::atomic<UIDeviceOrientation> orientation_{UIDeviceOrientation::unknown};
};

}  // namespace platform
