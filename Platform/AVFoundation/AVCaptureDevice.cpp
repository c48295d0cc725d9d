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

AVCaptureDevice::AVCaptureDevice(Description description, std::vector<std::shared_ptr<Format>> formats,
                                 std::shared_ptr<AVCaptureDeviceSource> source)
    : description_(std::move(description)), formats_(std::move(formats)), source_(std::move(source)) {
  if (!formats_.empty()) activeFormat_ = formats_.front();
}

std::shared_ptr<AVCaptureDevice> AVCaptureDevice::make(std::vector<std::shared_ptr<Format>> formats) {
  return make(Description{}, std::move(formats), nullptr);
}

std::shared_ptr<AVCaptureDevice> AVCaptureDevice::make(Description description,
                                                       std::vector<std::shared_ptr<Format>> formats,
                                                       std::shared_ptr<AVCaptureDeviceSource> source) {
  std::erase(formats, nullptr);
  return std::shared_ptr<AVCaptureDevice>(
      new AVCaptureDevice(std::move(description), std::move(formats), std::move(source)));
}

void AVCaptureDevice::lockForConfiguration() {
  std::lock_guard lock(mutex_);
  if (!connected_) throw AVError(AVError::deviceNotConnected);
  locked_ = true;
}

void AVCaptureDevice::unlockForConfiguration() {
  std::lock_guard lock(mutex_);
  locked_ = false;
}

void AVCaptureDevice::requireLock() const {
  if (!locked_) throw AVError(AVError::deviceNotLockedForConfiguration);
}

std::shared_ptr<AVCaptureDevice::Format> AVCaptureDevice::activeFormat() const {
  std::lock_guard lock(mutex_);
  return activeFormat_;
}

void AVCaptureDevice::setActiveFormat(std::shared_ptr<Format> format) {
  std::lock_guard lock(mutex_);
  requireLock();
  if (std::find(formats_.begin(), formats_.end(), format) == formats_.end()) throw AVError(AVError::invalidArgument);
  activeFormat_ = std::move(format);
  // A new format runs at its own rates until the durations are set again.
  minFrameDuration_ = CMTime::invalid;
  maxFrameDuration_ = CMTime::invalid;
}

CMTime AVCaptureDevice::activeVideoMinFrameDuration() const {
  std::lock_guard lock(mutex_);
  return minFrameDuration_;
}

void AVCaptureDevice::setActiveVideoMinFrameDuration(CMTime duration) {
  std::lock_guard lock(mutex_);
  requireLock();
  minFrameDuration_ = duration;
}

CMTime AVCaptureDevice::activeVideoMaxFrameDuration() const {
  std::lock_guard lock(mutex_);
  return maxFrameDuration_;
}

void AVCaptureDevice::setActiveVideoMaxFrameDuration(CMTime duration) {
  std::lock_guard lock(mutex_);
  requireLock();
  maxFrameDuration_ = duration;
}

bool AVCaptureDevice::isTorchModeSupported(AVCaptureTorchMode mode) const noexcept {
  return description_.hasTorch || mode == AVCaptureTorchMode::off;
}

AVCaptureTorchMode AVCaptureDevice::torchMode() const {
  std::lock_guard lock(mutex_);
  return torchMode_;
}

void AVCaptureDevice::setTorchMode(AVCaptureTorchMode mode) {
  std::lock_guard lock(mutex_);
  requireLock();
  if (!isTorchModeSupported(mode)) throw AVError(AVError::invalidArgument);
  torchMode_ = mode;
}

void AVCaptureDevice::setConnected(bool connected) {
  std::lock_guard lock(mutex_);
  connected_ = connected;
}

bool AVCaptureDevice::isConnected() const {
  std::lock_guard lock(mutex_);
  return connected_;
}

}  // namespace platform
