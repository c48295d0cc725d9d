#include "Fluvio/Sources/Mixer/AudioDeviceUnit.hpp"

namespace fluvio {

AudioDeviceUnit::AudioDeviceUnit(std::uint8_t track, std::shared_ptr<platform::AVCaptureDevice> device)
    : track_(track),
      device_(device),
      input_(std::make_shared<platform::AVCaptureDeviceInput>(std::move(device))),
      output_(std::make_shared<platform::AVCaptureAudioDataOutput>()),
      connection_(std::make_shared<platform::AVCaptureConnection>(input_->ports(), output_)) {}

AudioDeviceUnit::~AudioDeviceUnit() { output_->setSampleBufferDelegate({}, nullptr); }

void AudioDeviceUnit::setSampleBufferDelegate(DeviceUnitDataOutput::Sink sink,
                                              std::shared_ptr<const platform::SerialQueue> queue) {
  dataOutput_ = sink ? std::make_shared<DeviceUnitDataOutput>(track_, std::move(sink)) : nullptr;
  output_->setSampleBufferDelegate(dataOutput_, dataOutput_ ? std::move(queue) : nullptr);
}

}  // namespace fluvio
