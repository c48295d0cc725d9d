#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "Platform/AVFoundation/AVFrameRateRange.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"

namespace platform {

// A camera as its formats describe it.
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

  // Absent formats are left out.
  static std::shared_ptr<AVCaptureDevice> make(std::vector<std::shared_ptr<Format>> formats);

  // In the order the camera lists them.
  const std::vector<std::shared_ptr<Format>>& formats() const noexcept { return formats_; }

 private:
  explicit AVCaptureDevice(std::vector<std::shared_ptr<Format>> formats) : formats_(std::move(formats)) {}

  std::vector<std::shared_ptr<Format>> formats_;
};

}  // namespace platform
