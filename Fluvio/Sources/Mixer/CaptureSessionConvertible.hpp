#pragma once

#include <functional>
#include <memory>

#include "Fluvio/Sources/Mixer/DeviceUnit.hpp"
#include "Fluvio/Sources/Util/Runner.hpp"
#include "Platform/AVFoundation/AVCaptureSession.hpp"
#include "Platform/AVFoundation/AVError.hpp"
#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/CoreMedia/CMClock.hpp"

namespace fluvio {

// What the media mixer and the capture units need of a capture session.
class CaptureSessionConvertible : public Runner {
 public:
  using Preset = platform::AVCaptureSession::Preset;
  using Configuration = std::function<void(platform::AVCaptureSession& session)>;

  virtual Preset sessionPreset() const = 0;
  virtual void setSessionPreset(Preset preset) = 0;
  virtual bool isCapturing() const = 0;
  // Each read gives a sequence of what comes after it.
  virtual platform::AsyncStream<bool> isInturreped() = 0;
  virtual platform::AsyncStream<platform::AVError> runtimeError() = 0;
  virtual std::shared_ptr<platform::CMClock> synchronizationClock() const = 0;
  virtual bool isMultiCamSessionEnabled() const = 0;
  virtual bool isMultitaskingCameraAccessEnabled() const = 0;
  // False when the session refused the unit's input, output or connection.
  virtual bool attach(const DeviceUnit* unit) = 0;
  virtual void detach(const DeviceUnit* unit) = 0;
  // Runs `body` between begin and commit of a configuration; rethrows its error.
  virtual void configuration(const Configuration& body) = 0;
  virtual void startRunningIfNeeded() = 0;
};

}  // namespace fluvio
