#pragma once

#include <cstdint>
#include <memory>

#include "Fluvio/Sources/Mixer/DeviceUnit.hpp"
#include "Fluvio/Sources/Mixer/DeviceUnitDataOutput.hpp"
#include "Platform/Concurrency/SerialQueue.hpp"

namespace fluvio {

// A microphone of one track: its input, an audio data output and the
// connection between them.
class AudioDeviceUnit final : public DeviceUnit {
 public:
  // Throws the input's AVError when the device cannot be opened.
  AudioDeviceUnit(std::uint8_t track, std::shared_ptr<platform::AVCaptureDevice> device);
  ~AudioDeviceUnit() override;

  std::uint8_t track() const override { return track_; }
  std::shared_ptr<platform::AVCaptureDevice> device() const override { return device_; }
  std::shared_ptr<platform::AVCaptureInput> input() const override { return input_; }
  std::shared_ptr<platform::AVCaptureOutput> output() const override { return output_; }
  std::shared_ptr<platform::AVCaptureConnection> connection() const override { return connection_; }

  // Captured buffers go to `sink` on `queue`; no sink stops the delivery.
  void setSampleBufferDelegate(DeviceUnitDataOutput::Sink sink, std::shared_ptr<const platform::SerialQueue> queue);

 private:
  std::uint8_t track_;
  std::shared_ptr<platform::AVCaptureDevice> device_;
  std::shared_ptr<platform::AVCaptureDeviceInput> input_;
  std::shared_ptr<platform::AVCaptureAudioDataOutput> output_;
  std::shared_ptr<platform::AVCaptureConnection> connection_;
  std::shared_ptr<DeviceUnitDataOutput> dataOutput_;
};

}  // namespace fluvio
