#include "Platform/AVFoundation/AVCaptureInput.hpp"

#include "Platform/AVFoundation/AVCaptureDeviceSource.hpp"

namespace platform {

AVCaptureDeviceInput::AVCaptureDeviceInput(std::shared_ptr<AVCaptureDevice> device) : device_(std::move(device)) {
  if (!device_ || !device_->source() || !device_->isConnected() || !device_->source()->isAvailable()) {
    throw AVError(AVError::deviceNotConnected, device_);
  }
  const auto mediaType = device_->hasMediaType(AVMediaTypeAudio) ? AVMediaTypeAudio : AVMediaTypeVideo;
  ports_.push_back(
      std::make_shared<AVCaptureInputPort>(*this, mediaType, device_->deviceType(), device_->position()));
}

}  // namespace platform
