#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "Platform/AVFoundation/AVCaptureTypes.hpp"
#include "Platform/AVFoundation/AVError.hpp"
#include "Platform/AVFoundation/AVFrameRateRange.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "Platform/CoreMedia/CMTime.hpp"

namespace platform {

class AVCaptureDeviceSource;

// A camera or microphone: what it is, the formats it offers, and the
// configuration a client changes while holding its configuration lock. Its
// source delivers the media. Configuration is safe from any thread.
class AVCaptureDevice {
 public:
  // One way the camera can deliver video: pixel format and dimensions (in
  // the format description), the frame rates it runs at, and whether it
  // can run while other cameras capture too.
  class Format {
   public:
    // Nothing without a video format description or with an absent range.
    static std::shared_ptr<Format> make(std::shared_ptr<const CMFormatDescription> formatDescription,
                                        std::vector<std::shared_ptr<AVFrameRateRange>> videoSupportedFrameRateRanges,
                                        bool isMultiCamSupported);

    const std::shared_ptr<const CMFormatDescription>& formatDescription() const noexcept {
      return formatDescription_;
    }
    const std::vector<std::shared_ptr<AVFrameRateRange>>& videoSupportedFrameRateRanges() const noexcept {
      return videoSupportedFrameRateRanges_;
    }
    bool isMultiCamSupported() const noexcept { return isMultiCamSupported_; }

   private:
    Format(std::shared_ptr<const CMFormatDescription> formatDescription,
           std::vector<std::shared_ptr<AVFrameRateRange>> videoSupportedFrameRateRanges, bool isMultiCamSupported);

    std::shared_ptr<const CMFormatDescription> formatDescription_;
    std::vector<std::shared_ptr<AVFrameRateRange>> videoSupportedFrameRateRanges_;
    bool isMultiCamSupported_;
  };

  struct Description {
    std::string uniqueID;
    std::string localizedName;
    AVCaptureDeviceType deviceType = AVCaptureDeviceType::builtInWideAngleCamera;
    AVCaptureDevicePosition position = AVCaptureDevicePosition::unspecified;
    AVMediaType mediaType = AVMediaTypeVideo;
    bool hasTorch = false;
  };

  // A camera known only by its formats. Absent formats are left out.
  static std::shared_ptr<AVCaptureDevice> make(std::vector<std::shared_ptr<Format>> formats);
  // A device whose media comes from `source`; the first format is active.
  static std::shared_ptr<AVCaptureDevice> make(Description description, std::vector<std::shared_ptr<Format>> formats,
                                               std::shared_ptr<AVCaptureDeviceSource> source);

  // In the order the camera lists them.
  const std::vector<std::shared_ptr<Format>>& formats() const noexcept { return formats_; }
  const Description& description() const noexcept { return description_; }
  const std::string& uniqueID() const noexcept { return description_.uniqueID; }
  const std::string& localizedName() const noexcept { return description_.localizedName; }
  AVCaptureDeviceType deviceType() const noexcept { return description_.deviceType; }
  AVCaptureDevicePosition position() const noexcept { return description_.position; }
  bool hasMediaType(AVMediaType mediaType) const noexcept { return description_.mediaType == mediaType; }
  const std::shared_ptr<AVCaptureDeviceSource>& source() const noexcept { return source_; }

  // Throws AVError when the device is gone.
  void lockForConfiguration();
  void unlockForConfiguration();

  // Setters need the configuration lock; without it they throw
  // AVError::deviceNotLockedForConfiguration. A format the device does not
  // list is refused with AVError::invalidArgument.
  std::shared_ptr<Format> activeFormat() const;
  void setActiveFormat(std::shared_ptr<Format> format);
  CMTime activeVideoMinFrameDuration() const;
  void setActiveVideoMinFrameDuration(CMTime duration);
  CMTime activeVideoMaxFrameDuration() const;
  void setActiveVideoMaxFrameDuration(CMTime duration);

  bool hasTorch() const noexcept { return description_.hasTorch; }
  bool isTorchModeSupported(AVCaptureTorchMode mode) const noexcept;
  AVCaptureTorchMode torchMode() const;
  void setTorchMode(AVCaptureTorchMode mode);

  // The device went away (unplugged): locking fails from now on.
  void setConnected(bool connected);
  bool isConnected() const;

 private:
  AVCaptureDevice(Description description, std::vector<std::shared_ptr<Format>> formats,
                  std::shared_ptr<AVCaptureDeviceSource> source);
  void requireLock() const;

  Description description_;
  std::vector<std::shared_ptr<Format>> formats_;
  std::shared_ptr<AVCaptureDeviceSource> source_;

  mutable std::mutex mutex_;
  bool locked_ = false;
  bool connected_ = true;
  std::shared_ptr<Format> activeFormat_;
  CMTime minFrameDuration_ = CMTime::invalid;
  CMTime maxFrameDuration_ = CMTime::invalid;
  AVCaptureTorchMode torchMode_ = AVCaptureTorchMode::off;
};

}  // namespace platform
