#pragma once

#include <optional>
#include <set>

#include "Platform/AVFoundation/AVAudioSession.hpp"
#include "Platform/AVFoundation/AVCaptureVideoOrientation.hpp"
#include "Platform/AVFoundation/UIDeviceOrientation.hpp"
#include "Platform/AVFoundation/UIInterfaceOrientation.hpp"
#include "Platform/Foundation/Notification.hpp"

namespace fluvio {

// Questions about the device that capture and playback share.
struct DeviceUtil {
  DeviceUtil() = delete;

  // Portrait and landscape pass through by raw value; unknown, face up and
  // face down give nothing.
  static std::optional<platform::AVCaptureVideoOrientation> videoOrientation(
      platform::UIInterfaceOrientation orientation) noexcept;
  static std::optional<platform::AVCaptureVideoOrientation> videoOrientation(
      platform::UIDeviceOrientation orientation) noexcept;

  // From a notification the current device posted: its orientation, mapped
  // as above; nothing for any other object or none.
  static std::optional<platform::AVCaptureVideoOrientation> videoOrientation(const platform::Notification& notification);

  // Whether the session's current route leads to one of `ports`.
  static bool isHeadphoneConnected(const std::set<platform::AVAudioSession::Port>& ports);
  // A route change that took away the last of `ports`: the previous route
  // led to one of them and the current one leads to none. False without a
  // previous route.
  static bool isHeadphoneDisconnected(const platform::Notification& notification,
                                      const std::set<platform::AVAudioSession::Port>& ports);
};

}  // namespace fluvio
