#pragma once

#include <mutex>

#include "Fluvio/Sources/Mixer/CaptureSessionConvertible.hpp"
#include "Fluvio/Sources/Util/AsyncStreamed.hpp"
#include "Fluvio/Sources/Util/AsyncStreamedFlow.hpp"

namespace fluvio {

// The session of manual capture: the application appends media itself, so
// nothing is opened, attached or configured.
class NullCaptureSession final : public CaptureSessionConvertible {
 public:
  Preset sessionPreset() const override { return Preset::hd1280x720; }
  void setSessionPreset(Preset) override {}
  bool isCapturing() const override { return false; }
  platform::AsyncStream<bool> isInturreped() override;
  platform::AsyncStream<platform::AVError> runtimeError() override;
  std::shared_ptr<platform::CMClock> synchronizationClock() const override { return nullptr; }
  bool isMultiCamSessionEnabled() const override { return false; }
  bool isMultitaskingCameraAccessEnabled() const override { return false; }
  bool attach(const DeviceUnit*) override { return true; }
  void detach(const DeviceUnit*) override {}
  void configuration(const Configuration&) override {}
  void startRunningIfNeeded() override {}

  bool isRunning() const override;
  void startRunning() override;
  void stopRunning() override;

 private:
  mutable std::mutex mutex_;
  bool isRunning_ = false;
  AsyncStreamed<bool> isInturreped_{false};
  AsyncStreamedFlow<platform::AVError> runtimeError_;
};

}  // namespace fluvio
