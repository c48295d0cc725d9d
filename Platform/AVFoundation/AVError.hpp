#pragma once

#include <exception>
#include <memory>
#include <string>

namespace platform {

class AVCaptureDevice;

// A capture failure: its code, and the device it concerns when there is one.
class AVError : public std::exception {
 public:
  enum Code : long {
    unknown = -11800,
    deviceNotConnected = -11814,
    mediaServicesWereReset = -11819,
    deviceIsNotAvailableInBackground = -11837,
    deviceNotLockedForConfiguration = -11852,
    invalidArgument = -11853,
    unsupportedDeviceActiveFormat = -11873,
  };

  AVError(long code, std::shared_ptr<AVCaptureDevice> device = nullptr)
      : code_(code), device_(std::move(device)), message_("AVError(" + std::to_string(code) + ")") {}

  long code() const noexcept { return code_; }
  const std::shared_ptr<AVCaptureDevice>& device() const noexcept { return device_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  long code_;
  std::shared_ptr<AVCaptureDevice> device_;
  std::string message_;
};

}  // namespace platform
