#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <string_view>
#include <vector>

#include "Platform/AVFoundation/AVCaptureConnection.hpp"
#include "Platform/AVFoundation/AVCaptureInput.hpp"
#include "Platform/AVFoundation/AVCaptureOutput.hpp"
#include "Platform/CoreMedia/CMClock.hpp"

namespace platform {

// Posted by a session (as object) when a device fails while it runs; the
// user info holds the AVError code under AVCaptureSessionErrorKey and the
// device's unique id under AVCaptureDeviceUniqueIDKey.
inline constexpr std::string_view AVCaptureSessionRuntimeErrorNotification = "AVCaptureSessionRuntimeErrorNotification";
inline constexpr std::string_view AVCaptureSessionWasInterruptedNotification =
    "AVCaptureSessionWasInterruptedNotification";
inline constexpr std::string_view AVCaptureSessionInterruptionEndedNotification =
    "AVCaptureSessionInterruptionEndedNotification";
inline constexpr std::string_view AVCaptureSessionErrorKey = "AVCaptureSessionErrorKey";
inline constexpr std::string_view AVCaptureDeviceUniqueIDKey = "AVCaptureDeviceUniqueIDKey";

// Wires device inputs to outputs through connections and, while running,
// runs the sources of the connected devices. Changes between
// beginConfiguration and commitConfiguration take effect at the commit.
// Safe to use from any thread.
class AVCaptureSession : public std::enable_shared_from_this<AVCaptureSession> {
 public:
  enum class Preset {
    photo,
    high,
    medium,
    low,
    cif352x288,
    vga640x480,
    iFrame960x540,
    hd1280x720,
    iFrame1280x720,
    hd1920x1080,
    hd4K3840x2160,
    inputPriority,
  };

  static std::shared_ptr<AVCaptureSession> make();
  virtual ~AVCaptureSession();

  AVCaptureSession(const AVCaptureSession&) = delete;
  AVCaptureSession& operator=(const AVCaptureSession&) = delete;

  bool isMultiCam() const noexcept { return multiCam_; }

  Preset sessionPreset() const;
  // A multi-camera session takes only inputPriority.
  bool canSetSessionPreset(Preset preset) const noexcept;
  void setSessionPreset(Preset preset);

  std::vector<std::shared_ptr<AVCaptureInput>> inputs() const;
  std::vector<std::shared_ptr<AVCaptureOutput>> outputs() const;
  std::vector<std::shared_ptr<AVCaptureConnection>> connections() const;

  // A single-camera session holds one camera and one microphone.
  bool canAddInput(const std::shared_ptr<AVCaptureInput>& input) const;
  // Connects the input's ports to outputs of their media that have no connection yet.
  void addInput(const std::shared_ptr<AVCaptureInput>& input);
  void addInputWithNoConnections(const std::shared_ptr<AVCaptureInput>& input);
  void removeInput(const std::shared_ptr<AVCaptureInput>& input);
  bool canAddOutput(const std::shared_ptr<AVCaptureOutput>& output) const;
  void addOutput(const std::shared_ptr<AVCaptureOutput>& output);
  void addOutputWithNoConnections(const std::shared_ptr<AVCaptureOutput>& output);
  void removeOutput(const std::shared_ptr<AVCaptureOutput>& output);
  bool canAddConnection(const std::shared_ptr<AVCaptureConnection>& connection) const;
  void addConnection(const std::shared_ptr<AVCaptureConnection>& connection);
  void removeConnection(const std::shared_ptr<AVCaptureConnection>& connection);

  void beginConfiguration();
  void commitConfiguration();

  bool isRunning() const;
  // Blocks until the connected sources run (or failed to start).
  void startRunning();
  void stopRunning();
  std::shared_ptr<CMClock> synchronizationClock() const { return CMClock::hostTimeClock(); }

 protected:
  explicit AVCaptureSession(bool multiCam) : multiCam_(multiCam) {}

 private:
  using Lock = std::unique_lock<std::mutex>;

  void connectLocked(const std::shared_ptr<AVCaptureConnection>& connection);
  void disconnectLocked(const AVCaptureConnection& connection);
  bool inputIsKnownLocked(const AVCaptureInput& input) const;
  // Starts the sources of connected devices and stops the others, outside the lock.
  void reconcile(Lock lock);
  void startAndStop(const std::vector<std::shared_ptr<AVCaptureDeviceInput>>& toStart,
                    const std::vector<std::shared_ptr<AVCaptureDeviceInput>>& toStop,
                    std::vector<std::shared_ptr<AVCaptureDevice>>& failed);
  void route(const AVCaptureDeviceInput& input, const CMSampleBuffer& sampleBuffer);
  void fail(const std::shared_ptr<AVCaptureDevice>& device, long code);

  const bool multiCam_;
  mutable std::mutex mutex_;
  Preset preset_ = Preset::high;
  std::vector<std::shared_ptr<AVCaptureInput>> inputs_;
  std::vector<std::shared_ptr<AVCaptureOutput>> outputs_;
  std::vector<std::shared_ptr<AVCaptureConnection>> connections_;
  std::set<std::shared_ptr<AVCaptureDeviceInput>> started_;
  int configurationDepth_ = 0;
  bool running_ = false;
  std::mutex reconcileMutex_;
};

// A session that runs several cameras at once.
class AVCaptureMultiCamSession final : public AVCaptureSession {
 public:
  static bool isMultiCamSupported() noexcept { return true; }
  static std::shared_ptr<AVCaptureMultiCamSession> make();

 private:
  AVCaptureMultiCamSession() : AVCaptureSession(true) {}
};

}  // namespace platform
