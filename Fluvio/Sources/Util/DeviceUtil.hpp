#pragma once

#include <optional>
#include <set>

#include "Platform/AVFoundation/AVAudioSession.hpp"
#include "Platform/AVFoundation/AVCaptureVideoOrientation.hpp"
#include "Platform/AVFoundation/UIDeviceOrientation.hpp"
#include "Platform/AVFoundation/UIInterfaceOrientation.hpp"

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

  // Whether the session's current route leads to one of `ports`.
  static bool isHeadphoneConnected(const std::set<platform::AVAudioSession::Port>& ports);
};

}  // namespace fluvio
