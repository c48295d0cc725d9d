#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "Fluvio/Sources/Mixer/CaptureUnit.hpp"
#include "Fluvio/Sources/Mixer/VideoDeviceUnit.hpp"
#include "Fluvio/Sources/Mixer/VideoMixer.hpp"
#include "Fluvio/Sources/Util/AsyncStreamedFlow.hpp"

namespace fluvio {

// The video side of the media mixer: cameras per track, the video mixer
// every frame goes through, and two flows that republish the mixer's inputs
// and output. The mixer is touched only on `lockQueue`, where captured
// frames arrive; appends and setting changes from elsewhere are posted there.
class VideoCaptureUnit final : public CaptureUnit<VideoCaptureUnit, VideoDeviceUnit>, public VideoMixerDelegate {
 public:
  class Error : public std::exception {
   public:
    const char* what() const noexcept override { return "multiCamNotSupported"; }
  };
  using Input = std::pair<std::uint8_t, platform::CMSampleBuffer>;
  using Configuration = std::function<void(VideoDeviceUnit& unit)>;

  static std::shared_ptr<VideoCaptureUnit> make(std::shared_ptr<CaptureSessionConvertible> session);

  // Throws Error when a second camera needs a multi-camera session, the
  // unit's error, or AVError::invalidArgument when the session refuses it.
  void attachVideo(std::shared_ptr<platform::AVCaptureDevice> device, std::uint8_t track,
                   const Configuration& configuration = {});

  bool isTorchEnabled() const noexcept { return isTorchEnabled_; }
  void setTorchEnabled(bool enabled);
  platform::AVCaptureVideoOrientation videoOrientation() const noexcept { return videoOrientation_; }
  // Stores the orientation; applyVideoOrientation() gives it to the devices.
  void setVideoOrientation(platform::AVCaptureVideoOrientation orientation) noexcept { videoOrientation_ = orientation; }
  void applyVideoOrientation();
  DynamicRangeMode dynamicRangeMode() const noexcept { return dynamicRangeMode_; }
  // Stores the mode; applyDynamicRangeMode() gives it to the devices and
  // throws the first device's error (the devices after it keep theirs).
  void setDynamicRangeMode(DynamicRangeMode mode) noexcept { dynamicRangeMode_ = mode; }
  void applyDynamicRangeMode();

  VideoMixerSettings settings() const;
  void setSettings(VideoMixerSettings settings);
  VideoMixer::InputFormats inputFormats() const;

  // Each read starts a new sequence and ends the one before.
  platform::AsyncStream<Input> inputs();
  platform::AsyncStream<platform::CMSampleBuffer> output();
  void finishFlows();

  void didInput(const platform::CMSampleBuffer& sampleBuffer, std::uint8_t track) override;
  void didOutput(const platform::CMSampleBuffer& sampleBuffer) override;

 private:
  friend CaptureUnit;
  explicit VideoCaptureUnit(std::shared_ptr<CaptureSessionConvertible> session)
      : CaptureUnit(std::move(session), "com.fluvio.Fluvio.VideoCaptureUnit.lock") {}
  // On the queue.
  void appendOnQueue(const platform::CMSampleBuffer& sampleBuffer, std::uint8_t track);

  VideoMixer videoMixer_;
  bool isTorchEnabled_ = false;
  platform::AVCaptureVideoOrientation videoOrientation_ = platform::AVCaptureVideoOrientation::portrait;
  DynamicRangeMode dynamicRangeMode_ = DynamicRangeMode::sdr;

  mutable std::mutex mutex_;
  VideoMixerSettings settings_;
  VideoMixer::InputFormats inputFormats_;
  AsyncStreamedFlow<Input> inputs_;
  AsyncStreamedFlow<platform::CMSampleBuffer> output_;
};

}  // namespace fluvio
