#include "Fluvio/Sources/Mixer/VideoDeviceUnit.hpp"

#include <cmath>
#include <limits>

#include "Fluvio/Sources/Extension/AVCaptureDeviceExtension.hpp"
#include "Fluvio/Sources/Util/FluvioLogger.hpp"

namespace fluvio {

namespace {

std::shared_ptr<platform::AVCaptureConnection> makeConnection(
    const platform::AVCaptureDeviceInput& input, const platform::AVCaptureDevice& device,
    const std::shared_ptr<platform::AVCaptureVideoDataOutput>& output) {
  for (const auto& port : input.ports()) {
    if (port->mediaType() == platform::AVMediaTypeVideo && port->sourceDeviceType() == device.deviceType() &&
        port->sourceDevicePosition() == device.position()) {
      return std::make_shared<platform::AVCaptureConnection>(std::vector{port}, output);
    }
  }
  return nullptr;
}

// Frames last 100 / (rate x 100) seconds; rates whose hundredfold is not a
// positive 32-bit number are out of range.
std::optional<platform::CMTime> frameDuration(double frameRate) {
  const double timescale = frameRate * 100;
  if (!std::isfinite(timescale) || timescale < 1 || timescale > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return platform::CMTime::make(100, static_cast<std::int32_t>(timescale));
}

}  // namespace

VideoDeviceUnit::VideoDeviceUnit(std::uint8_t track, std::shared_ptr<platform::AVCaptureDevice> device)
    : DeviceUnitOf(track, std::move(device)) {
  connection_ = makeConnection(*input_, *device_, output_);
}

void VideoDeviceUnit::setFrameRate(double frameRate) {
  if (!device_) return;
  const auto duration = frameDuration(frameRate);
  device_->lockForConfiguration();
  try {
    const auto active = device_->activeFormat();
    if (!duration) throw Error(Error::Case::unsupportedFrameRate);
    if (!active || !isFrameRateSupported(*active, frameRate)) {
      const auto dimensions = active ? active->formatDescription()->dimensions() : platform::CMVideoDimensions{};
      auto format = findVideoFormat(*device_, dimensions.width, dimensions.height, frameRate,
                                    active && active->isMultiCamSupported());
      if (!format) throw Error(Error::Case::unsupportedFrameRate);
      device_->setActiveFormat(std::move(format));
    }
    device_->setActiveVideoMinFrameDuration(*duration);
    device_->setActiveVideoMaxFrameDuration(*duration);
    frameRate_ = frameRate;
  } catch (...) {
    device_->unlockForConfiguration();
    throw;
  }
  device_->unlockForConfiguration();
}

void VideoDeviceUnit::setTorchMode(platform::AVCaptureTorchMode mode) {
  if (!device_ || !device_->isTorchModeSupported(mode)) return;
  try {
    device_->lockForConfiguration();
    device_->setTorchMode(mode);
    device_->unlockForConfiguration();
  } catch (const std::exception& error) {
    TP_ERROR(logger(), "while setting torch:", error.what());
  }
}

void VideoDeviceUnit::setDynamicRangeMode(DynamicRangeMode mode) {
  if (!device_ || mode == dynamicRangeMode_) return;
  const auto pixelFormat = mode == DynamicRangeMode::hdr ? platform::kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange
                                                         : platform::kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange;
  device_->lockForConfiguration();
  const auto active = device_->activeFormat();
  const auto size = active ? active->formatDescription()->dimensions() : platform::CMVideoDimensions{};
  for (const auto& format : device_->formats()) {
    const auto& description = *format->formatDescription();
    const auto dimensions = description.dimensions();
    if (dimensions.width != size.width || dimensions.height != size.height) continue;
    if (description.mediaSubType() != pixelFormat) continue;
    try {
      device_->setActiveFormat(format);
    } catch (...) {
      device_->unlockForConfiguration();
      throw;
    }
    dynamicRangeMode_ = mode;
    device_->unlockForConfiguration();
    return;
  }
  device_->unlockForConfiguration();
  throw Error(Error::Case::unsupportedDynamicRangeMode, mode);
}

void VideoDeviceUnit::setVideoOrientation(platform::AVCaptureVideoOrientation orientation) {
  videoOrientation_ = orientation;
  for (const auto& connection : output_->connections()) {
    if (connection->isVideoOrientationSupported()) connection->setVideoOrientation(orientation);
  }
}

void VideoDeviceUnit::setVideoMirrored(bool mirrored) {
  isVideoMirrored_ = mirrored;
  for (const auto& connection : output_->connections()) {
    if (connection->isVideoMirroringSupported()) connection->setVideoMirrored(mirrored);
  }
}

void VideoDeviceUnit::setPreferredVideoStabilizationMode(platform::AVCaptureVideoStabilizationMode mode) {
  stabilization_ = mode;
  for (const auto& connection : output_->connections()) {
    if (connection->isVideoStabilizationSupported()) connection->setPreferredVideoStabilizationMode(mode);
  }
}

}  // namespace fluvio
