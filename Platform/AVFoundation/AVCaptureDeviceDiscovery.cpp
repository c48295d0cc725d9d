#include "Platform/AVFoundation/AVCaptureDeviceDiscovery.hpp"

#include <set>

#include "Platform/AVFoundation/ALSAMicrophoneSource.hpp"
#include "Platform/AVFoundation/V4L2CameraSource.hpp"
#include "Platform/Foundation/NotificationCenter.hpp"

namespace platform {

AVCaptureDeviceDiscovery::Lister AVCaptureDeviceDiscovery::hardware() {
  return [] {
    auto devices = V4L2CameraSource::devices();
    for (auto& microphone : ALSAMicrophoneSource::devices()) devices.push_back(std::move(microphone));
    return devices;
  };
}

std::shared_ptr<AVCaptureDeviceDiscovery> AVCaptureDeviceDiscovery::make(Lister lister,
                                                                         std::chrono::milliseconds interval) {
  return std::shared_ptr<AVCaptureDeviceDiscovery>(new AVCaptureDeviceDiscovery(std::move(lister), interval));
}

std::vector<std::shared_ptr<AVCaptureDevice>> AVCaptureDeviceDiscovery::devices() const {
  std::lock_guard lock(mutex_);
  std::vector<std::shared_ptr<AVCaptureDevice>> connected;
  for (const auto& [id, device] : known_) {
    if (device->isConnected()) connected.push_back(device);
  }
  return connected;
}

void AVCaptureDeviceDiscovery::startRunning() {
  {
    std::lock_guard lock(mutex_);
    if (isRunning_) return;
    isRunning_ = true;
  }
  queue_.async([weakSelf = weak_from_this()] {
    if (auto self = weakSelf.lock()) self->poll();
  });
}

void AVCaptureDeviceDiscovery::stopRunning() {
  std::lock_guard lock(mutex_);
  isRunning_ = false;
}

void AVCaptureDeviceDiscovery::poll() {
  {
    std::lock_guard lock(mutex_);
    if (!isRunning_) return;
  }
  const auto listed = lister_();
  std::vector<std::pair<std::string_view, std::shared_ptr<AVCaptureDevice>>> changes;
  {
    std::lock_guard lock(mutex_);
    std::set<std::string> present;
    for (const auto& device : listed) {
      present.insert(device->uniqueID());
      auto [it, added] = known_.try_emplace(device->uniqueID(), device);
      if (added || !it->second->isConnected()) {
        it->second->setConnected(true);
        changes.emplace_back(AVCaptureDeviceWasConnectedNotification, it->second);
      }
    }
    for (const auto& [id, device] : known_) {
      if (present.contains(id) || !device->isConnected()) continue;
      device->setConnected(false);
      changes.emplace_back(AVCaptureDeviceWasDisconnectedNotification, device);
    }
  }
  for (const auto& [name, device] : changes) NotificationCenter::defaultCenter().post(std::string(name), device);
  queue_.asyncAfter(interval_, [weakSelf = weak_from_this()] {
    if (auto self = weakSelf.lock()) self->poll();
  });
}

}  // namespace platform
