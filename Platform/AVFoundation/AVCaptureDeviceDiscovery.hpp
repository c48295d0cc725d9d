#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/AVFoundation/AVCaptureDevice.hpp"
#include "Platform/Concurrency/SerialQueue.hpp"

namespace platform {

// Posted with the device as object when a device appears or goes away.
inline constexpr std::string_view AVCaptureDeviceWasConnectedNotification = "AVCaptureDeviceWasConnectedNotification";
inline constexpr std::string_view AVCaptureDeviceWasDisconnectedNotification =
    "AVCaptureDeviceWasDisconnectedNotification";

// Finds cameras and microphones as they come and go by listing them every
// `interval`. A device keeps its object across a loss: it is marked not
// connected while gone and connected again when it is back, so a session
// that holds it picks it up on its next restart.
class AVCaptureDeviceDiscovery : public std::enable_shared_from_this<AVCaptureDeviceDiscovery> {
 public:
  using Lister = std::function<std::vector<std::shared_ptr<AVCaptureDevice>>()>;

  // The V4L2 cameras and ALSA microphones of this machine.
  static Lister hardware();
  static std::shared_ptr<AVCaptureDeviceDiscovery> make(Lister lister = hardware(),
                                                        std::chrono::milliseconds interval = std::chrono::seconds(1));

  // The connected devices as of the last listing.
  std::vector<std::shared_ptr<AVCaptureDevice>> devices() const;
  // Lists now, then every interval until stopped.
  void startRunning();
  void stopRunning();

 private:
  AVCaptureDeviceDiscovery(Lister lister, std::chrono::milliseconds interval)
      : lister_(std::move(lister)), interval_(interval) {}
  void poll();

  const Lister lister_;
  const std::chrono::milliseconds interval_;
  SerialQueue queue_{"com.fluvio.Platform.AVCaptureDeviceDiscovery"};
  mutable std::mutex mutex_;
  bool isRunning_ = false;
  std::map<std::string, std::shared_ptr<AVCaptureDevice>> known_;
};

}  // namespace platform
