#include "Fluvio/Sources/Util/DeviceUtil.hpp"

#include <algorithm>

#include "Platform/AVFoundation/AVAudioSessionPortName.hpp"
#include "Platform/AVFoundation/UIDevice.hpp"
#include "Platform/Foundation/LifecycleNotifications.hpp"

namespace fluvio {

std::optional<platform::AVCaptureVideoOrientation> DeviceUtil::videoOrientation(
    platform::UIInterfaceOrientation orientation) noexcept {
  return platform::fromRawValue<platform::AVCaptureVideoOrientation>(platform::rawValue(orientation));
}

std::optional<platform::AVCaptureVideoOrientation> DeviceUtil::videoOrientation(
    platform::UIDeviceOrientation orientation) noexcept {
  return platform::fromRawValue<platform::AVCaptureVideoOrientation>(platform::rawValue(orientation));
}

bool DeviceUtil::isHeadphoneConnected(const std::set<platform::AVAudioSession::Port>& ports) {
  const auto route = platform::AVAudioSession::sharedInstance().currentRoute();
  return std::ranges::any_of(route->outputs(), [&](const auto& output) { return ports.contains(output->portType()); });
}

std::optional<platform::AVCaptureVideoOrientation> DeviceUtil::videoOrientation(
    const platform::Notification& notification) {
  const auto& device = platform::UIDevice::current();
  if (notification.object.get() != device.get()) return std::nullopt;
  return videoOrientation(device->orientation());
}

bool DeviceUtil::isHeadphoneDisconnected(const platform::Notification& notification,
                                         const std::set<platform::AVAudioSession::Port>& ports) {
  const auto* previous = notification.userInfoValue(platform::AVAudioSessionRouteChangePreviousRouteKey);
  const auto* names = previous ? std::get_if<std::string>(previous) : nullptr;
  if (names == nullptr) return false;
  const auto outputs = platform::splitPortTypeNames(*names);
  if (std::ranges::none_of(outputs, [&](auto port) { return ports.contains(port); })) return false;
  return !isHeadphoneConnected(ports);
}

}  // namespace fluvio
