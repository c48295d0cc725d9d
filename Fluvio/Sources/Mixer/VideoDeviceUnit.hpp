#pragma once

#include <cstdint>
#include <exception>
#include <memory>

#include "Fluvio/Sources/Mixer/DeviceUnit.hpp"
#include "Fluvio/Sources/Mixer/DeviceUnitDataOutput.hpp"
#include "Fluvio/Sources/Mixer/VideoMixer.hpp"
#include "Fluvio/Sources/Screen/DynamicRangeMode.hpp"
#include "Platform/AVFoundation/AVCaptureVideoOrientation.hpp"
#include "Platform/Concurrency/SerialQueue.hpp"

namespace fluvio {

// A camera of one track with the settings a client controls: frame rate,
// orientation, mirroring, stabilisation and torch.
class VideoDeviceUnit final : public DeviceUnitOf<platform::AVCaptureVideoDataOutput> {
 public:
  class Error : public std::exception {
   public:
    enum class Case { unsupportedDynamicRangeMode, unsupportedFrameRate };
    explicit Error(Case errorCase, DynamicRangeMode mode = DynamicRangeMode::sdr) : case_(errorCase), mode_(mode) {}
    Case errorCase() const noexcept { return case_; }
    // The mode an unsupportedDynamicRangeMode refused.
    DynamicRangeMode mode() const noexcept { return mode_; }
    const char* what() const noexcept override {
      return case_ == Case::unsupportedFrameRate ? "unsupportedFrameRate" : "unsupportedDynamicRangeMode";
    }

   private:
    Case case_;
    DynamicRangeMode mode_;
  };

  // Throws the input's AVError when the device cannot be opened.
  VideoDeviceUnit(std::uint8_t track, std::shared_ptr<platform::AVCaptureDevice> device);

  double frameRate() const noexcept { return frameRate_; }
  // Keeps the active format when it runs at the rate, else takes a format of
  // the same size that does. Throws unsupportedFrameRate (or the lock's
  // error) and keeps the rate otherwise.
  void setFrameRate(double frameRate);
  std::uint32_t colorFormat() const noexcept { return colorFormat_; }
  void setColorFormat(std::uint32_t colorFormat) noexcept { colorFormat_ = colorFormat; }
  // Never throws: a device without that torch mode is left alone.
  void setTorchMode(platform::AVCaptureTorchMode mode);
  DynamicRangeMode dynamicRangeMode() const noexcept { return dynamicRangeMode_; }
  // Takes the format of the active size in the mode's capture pixel format;
  // throws unsupportedDynamicRangeMode (or the lock's error) without one.
  void setDynamicRangeMode(DynamicRangeMode mode);

  platform::AVCaptureVideoOrientation videoOrientation() const noexcept { return videoOrientation_; }
  void setVideoOrientation(platform::AVCaptureVideoOrientation orientation);
  bool isVideoMirrored() const noexcept { return isVideoMirrored_; }
  void setVideoMirrored(bool mirrored);
  platform::AVCaptureVideoStabilizationMode preferredVideoStabilizationMode() const noexcept { return stabilization_; }
  void setPreferredVideoStabilizationMode(platform::AVCaptureVideoStabilizationMode mode);

 private:
  double frameRate_ = 30.0;
  std::uint32_t colorFormat_ = platform::kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange;
  platform::AVCaptureVideoOrientation videoOrientation_ = platform::AVCaptureVideoOrientation::portrait;
  bool isVideoMirrored_ = false;
  platform::AVCaptureVideoStabilizationMode stabilization_ = platform::AVCaptureVideoStabilizationMode::off;
  DynamicRangeMode dynamicRangeMode_ = DynamicRangeMode::sdr;
};

}  // namespace fluvio
