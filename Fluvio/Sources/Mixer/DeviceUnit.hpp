#pragma once

#include <cstdint>
#include <memory>

#include "Platform/AVFoundation/AVCaptureConnection.hpp"
#include "Platform/AVFoundation/AVCaptureDevice.hpp"
#include "Platform/AVFoundation/AVCaptureInput.hpp"
#include "Platform/AVFoundation/AVCaptureOutput.hpp"

namespace fluvio {

// One capture device of one track, as a capture session attaches it.
class DeviceUnit {
 public:
  virtual ~DeviceUnit() = default;

  virtual std::uint8_t track() const = 0;
  virtual std::shared_ptr<platform::AVCaptureDevice> device() const = 0;
  virtual std::shared_ptr<platform::AVCaptureInput> input() const = 0;
  virtual std::shared_ptr<platform::AVCaptureOutput> output() const = 0;
  // Present when the unit wires its own connection.
  virtual std::shared_ptr<platform::AVCaptureConnection> connection() const = 0;
};

}  // namespace fluvio
