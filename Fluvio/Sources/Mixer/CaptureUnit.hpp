#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "Fluvio/Sources/Mixer/CaptureDevices.hpp"
#include "Fluvio/Sources/Mixer/CaptureSessionConvertible.hpp"
#include "Fluvio/Sources/Mixer/DeviceUnitDataOutput.hpp"
#include "Platform/Concurrency/SerialQueue.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace fluvio {

// What the audio and video capture units share: the serial queue their
// devices deliver on, where their mixer lives, and the device units per
// track on the session.
template <class Derived, class Unit>
class CaptureUnit : public std::enable_shared_from_this<Derived> {
 public:
  const std::shared_ptr<const platform::SerialQueue>& lockQueue() const noexcept { return lockQueue_; }
  const std::map<std::uint8_t, std::shared_ptr<Unit>>& devices() const noexcept { return devices_.units(); }

  bool isSuspended() const noexcept { return devices_.isSuspended(); }
  void suspend() { devices_.suspend(); }
  void resume() { devices_.resume(); }

  // Captured or appended media, mixed on the queue.
  void append(platform::CMSampleBuffer sampleBuffer, std::uint8_t track) {
    onQueue([sampleBuffer = std::move(sampleBuffer), track](Derived& self) { self.appendOnQueue(sampleBuffer, track); });
  }

 protected:
  CaptureUnit(std::shared_ptr<CaptureSessionConvertible> session, std::string label)
      : lockQueue_(std::make_shared<const platform::SerialQueue>(std::move(label))),
        session_(std::move(session)),
        devices_(session_) {}

  // Runs `work` on the queue while the unit lives.
  template <class Work>
  void onQueue(Work work) {
    lockQueue_->async([weakSelf = this->weak_from_this(), work = std::move(work)]() mutable {
      if (auto self = weakSelf.lock()) work(*self);
    });
  }

  // Where a device unit's data output delivers: straight into the mixer, on the queue.
  DeviceUnitDataOutput::Sink sink() {
    return [weakSelf = this->weak_from_this()](const platform::CMSampleBuffer& sampleBuffer, std::uint8_t track) {
      if (auto self = weakSelf.lock()) self->appendOnQueue(sampleBuffer, track);
    };
  }

  const std::shared_ptr<const platform::SerialQueue> lockQueue_;
  const std::shared_ptr<CaptureSessionConvertible> session_;
  CaptureDevices<Unit> devices_;
};

}  // namespace fluvio
