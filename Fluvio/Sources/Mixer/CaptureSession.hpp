#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "Fluvio/Sources/Mixer/CaptureSessionConvertible.hpp"
#include "Fluvio/Sources/Mixer/RestartBackOff.hpp"
#include "Fluvio/Sources/Util/AsyncStreamedFlow.hpp"
#include "Platform/Concurrency/SerialQueue.hpp"
#include "Platform/Foundation/Notification.hpp"

namespace fluvio {

// A platform capture session, single- or multi-camera, with its runtime
// errors and interruptions published as sequences. Restarts after failures
// back off, so a device that is gone does not make a busy loop. Restarts and
// runtime errors run in order on one queue: an error that stopped the session
// during a restart is seen after the restart has read back that the session
// stopped, and so starts the next retry itself.
class CaptureSession final : public CaptureSessionConvertible,
                             public std::enable_shared_from_this<CaptureSession> {
 public:
  struct Capabilities {
    bool isMultiCamSessionEnabled() const noexcept { return isMultiCamSessionEnabled_; }
    // Stores false, with an info line, where the platform cannot run several cameras.
    void setMultiCamSessionEnabled(bool enabled);

   private:
    bool isMultiCamSessionEnabled_ = false;
  };

  using Now = std::function<RestartBackOff::Clock::time_point()>;

  // Restarts back off by the times `now` gives: the steady clock's by default.
  static std::shared_ptr<CaptureSession> make(bool isMultiCamSessionEnabled, Now now = RestartBackOff::Clock::now);
  ~CaptureSession() override;

  // Made on first use.
  const std::shared_ptr<platform::AVCaptureSession>& session();

  Preset sessionPreset() const override;
  void setSessionPreset(Preset preset) override;
  bool isCapturing() const override;
  platform::AsyncStream<bool> isInturreped() override;
  platform::AsyncStream<platform::AVError> runtimeError() override;
  std::shared_ptr<platform::CMClock> synchronizationClock() const override { return platform::CMClock::hostTimeClock(); }
  bool isMultiCamSessionEnabled() const override { return capabilities_.isMultiCamSessionEnabled(); }
  bool isMultitaskingCameraAccessEnabled() const override { return false; }
  bool attach(const DeviceUnit* unit) override;
  void detach(const DeviceUnit* unit) override;
  void configuration(const Configuration& body) override;
  // Restarts on the session's queue; returns at once.
  void startRunningIfNeeded() override;

  bool isRunning() const override;
  void startRunning() override;
  void stopRunning() override;

 private:
  CaptureSession(bool isMultiCamSessionEnabled, Now now);

  void observe(const platform::AVCaptureSession& platformSession);
  void sessionRuntimeError(const platform::Notification& notification);
  void yieldInterrupted(bool interrupted);
  // On the queue, from here down.
  void runtimeErrorOccurred(platform::AVError error);
  void restartWithBackOff();
  void restartNow();
  void scheduleRestart(std::chrono::steady_clock::duration delay);

  Capabilities capabilities_;
  mutable std::mutex mutex_;
  // Held across each platform start or stop and the read-back after it, so a
  // restart and a stop do not interleave.
  std::mutex runMutex_;
  std::shared_ptr<platform::AVCaptureSession> session_;
  Preset sessionPreset_ = Preset::hd1280x720;
  // Started and not stopped since: observed, and retried after failures.
  bool isStarted_ = false;
  bool isRunning_ = false;
  AsyncStreamedFlow<bool> isInturreped_;
  AsyncStreamedFlow<platform::AVError> runtimeError_;
  const Now now_;
  RestartBackOff backOff_;
  platform::SerialQueue restartQueue_{"com.fluvio.Fluvio.CaptureSession.restart"};
};

}  // namespace fluvio
