#include "Platform/AVFoundation/AVCaptureDevice.hpp"

#include <algorithm>

namespace platform {

AVCaptureDevice::Format::Format(std::shared_ptr<const CMFormatDescription> formatDescription,
                                std::vector<std::shared_ptr<AVFrameRateRange>> videoSupportedFrameRateRanges,
                                bool isMultiCamSupported)
    : formatDescription_(std::move(formatDescription)),
      videoSupportedFrameRateRanges_(std::move(videoSupportedFrameRateRanges)),
      isMultiCamSupported_(isMultiCamSupported) {}

std::shared_ptr<AVCaptureDevice::Format> AVCaptureDevice::Format::make(
    std::shared_ptr<const CMFormatDescription> formatDescription,
    std::vector<std::shared_ptr<AVFrameRateRange>> videoSupportedFrameRateRanges, bool isMultiCamSupported) {
  const bool hasNullRange = std::find(videoSupportedFrameRateRanges.begin(), videoSupportedFrameRateRanges.end(),
                                      nullptr) != videoSupportedFrameRateRanges.end();
  if (!formatDescription || formatDescription->mediaType() != kCMMediaType_Video || hasNullRange) {
    return nullptr;
  }
  return std::shared_ptr<Format>(
      new Format(std::move(formatDescription), std::move(videoSupportedFrameRateRanges), isMultiCamSupported));
}

std::shared_ptr<AVCaptureDevice> AVCaptureDevice::make(std::vector<std::shared_ptr<Format>> formats) {
  std::erase(formats, nullptr);
  return std::shared_ptr<AVCaptureDevice>(new AVCaptureDevice(std::move(formats)));
}

}  // namespace platform
