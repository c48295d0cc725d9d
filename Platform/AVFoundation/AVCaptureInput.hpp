#pragma once

#include <memory>
#include <vector>

#include "Platform/AVFoundation/AVCaptureDevice.hpp"

namespace platform {

class AVCaptureInput;

// One stream an input offers: the media of its device.
class AVCaptureInputPort {
 public:
  AVCaptureInputPort(const AVCaptureInput& input, AVMediaType mediaType, AVCaptureDeviceType sourceDeviceType,
                     AVCaptureDevicePosition sourceDevicePosition)
      : input_(input), mediaType_(mediaType), sourceDeviceType_(sourceDeviceType),
        sourceDevicePosition_(sourceDevicePosition) {}

  const AVCaptureInput& input() const noexcept { return input_; }
  AVMediaType mediaType() const noexcept { return mediaType_; }
  AVCaptureDeviceType sourceDeviceType() const noexcept { return sourceDeviceType_; }
  AVCaptureDevicePosition sourceDevicePosition() const noexcept { return sourceDevicePosition_; }

 private:
  const AVCaptureInput& input_;
  AVMediaType mediaType_;
  AVCaptureDeviceType sourceDeviceType_;
  AVCaptureDevicePosition sourceDevicePosition_;
};

// A source of media for a capture session.
class AVCaptureInput {
 public:
  virtual ~AVCaptureInput() = default;
  AVCaptureInput(const AVCaptureInput&) = delete;
  AVCaptureInput& operator=(const AVCaptureInput&) = delete;

  const std::vector<std::shared_ptr<AVCaptureInputPort>>& ports() const noexcept { return ports_; }

 protected:
  AVCaptureInput() = default;
  std::vector<std::shared_ptr<AVCaptureInputPort>> ports_;
};

// The input of one device.
class AVCaptureDeviceInput final : public AVCaptureInput {
 public:
  // Throws AVError::deviceNotConnected when the device cannot be opened.
  explicit AVCaptureDeviceInput(std::shared_ptr<AVCaptureDevice> device);

  const std::shared_ptr<AVCaptureDevice>& device() const noexcept { return device_; }

 private:
  std::shared_ptr<AVCaptureDevice> device_;
};

}  // namespace platform
