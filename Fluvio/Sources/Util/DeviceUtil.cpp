#include "Fluvio/Sources/Util/DeviceUtil.hpp"

#include <algorithm>

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

}  // namespace fluvio
