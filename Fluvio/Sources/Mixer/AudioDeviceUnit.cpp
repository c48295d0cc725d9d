#include "Fluvio/Sources/Mixer/AudioDeviceUnit.hpp"

namespace fluvio {

AudioDeviceUnit::AudioDeviceUnit(std::uint8_t track, std::shared_ptr<platform::AVCaptureDevice> device)
    : DeviceUnitOf(track, std::move(device)) {
  connection_ = std::make_shared<platform::AVCaptureConnection>(input_->ports(), output_);
}

}  // namespace fluvio
