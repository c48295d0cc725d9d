#include "Platform/AVFoundation/UIDevice.hpp"

#include <string>

#include "Platform/Foundation/NotificationCenter.hpp"

namespace platform {

const std::shared_ptr<UIDevice>& UIDevice::current() {
  static const std::shared_ptr<UIDevice> device(new UIDevice());
  return device;
}

void UIDevice::setOrientation(UIDeviceOrientation orientation) {
  if (orientation_.exchange(orientation) == orientation) return;
  NotificationCenter::defaultCenter().post(std::string(UIDeviceOrientationDidChangeNotification), current());
}

}  // namespace platform
