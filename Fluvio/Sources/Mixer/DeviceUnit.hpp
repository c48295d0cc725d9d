#pragma once

#include <cstdint>
#include <memory>

#include "Fluvio/Sources/Mixer/DeviceUnitDataOutput.hpp"
#include "Platform/AVFoundation/AVCaptureConnection.hpp"
#include "Platform/AVFoundation/AVCaptureDevice.hpp"
#include "Platform/AVFoundation/AVCaptureInput.hpp"
#include "Platform/AVFoundation/AVCaptureOutput.hpp"
#include "Platform/Concurrency/SerialQueue.hpp"

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

// What every device unit holds: the device, its input, a data output of
// `Output` with its delegate, and the connection the unit makes.
template <class Output>
class DeviceUnitOf : public DeviceUnit {
 public:
  ~DeviceUnitOf() override { output_->setSampleBufferDelegate({}, nullptr); }

  std::uint8_t track() const override { return track_; }
  std::shared_ptr<platform::AVCaptureDevice> device() const override { return device_; }
  std::shared_ptr<platform::AVCaptureInput> input() const override { return input_; }
  std::shared_ptr<platform::AVCaptureOutput> output() const override { return output_; }
  std::shared_ptr<platform::AVCaptureConnection> connection() const override { return connection_; }

  // Captured buffers go to `sink` on `queue`; no sink stops the delivery.
  void setSampleBufferDelegate(DeviceUnitDataOutput::Sink sink, std::shared_ptr<const platform::SerialQueue> queue) {
    dataOutput_ = sink ? std::make_shared<DeviceUnitDataOutput>(track_, std::move(sink)) : nullptr;
    output_->setSampleBufferDelegate(dataOutput_, dataOutput_ ? std::move(queue) : nullptr);
  }

 protected:
  // Throws the input's AVError when the device cannot be opened.
  DeviceUnitOf(std::uint8_t track, std::shared_ptr<platform::AVCaptureDevice> device)
      : track_(track),
        device_(device),
        input_(std::make_shared<platform::AVCaptureDeviceInput>(std::move(device))),
        output_(std::make_shared<Output>()) {}

  const std::uint8_t track_;
  const std::shared_ptr<platform::AVCaptureDevice> device_;
  const std::shared_ptr<platform::AVCaptureDeviceInput> input_;
  const std::shared_ptr<Output> output_;
  std::shared_ptr<platform::AVCaptureConnection> connection_;

 private:
  std::shared_ptr<DeviceUnitDataOutput> dataOutput_;
};

}  // namespace fluvio
