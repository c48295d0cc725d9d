#pragma once

#include <cstdint>
#include <memory>

#include "Fluvio/Sources/Mixer/DeviceUnit.hpp"
#include "Fluvio/Sources/Mixer/DeviceUnitDataOutput.hpp"
#include "Platform/Concurrency/SerialQueue.hpp"

namespace fluvio {

// A microphone of one track: its input, an audio data output and the
// connection between them.
class AudioDeviceUnit final : public DeviceUnitOf<platform::AVCaptureAudioDataOutput> {
 public:
  // Throws the input's AVError when the device cannot be opened.
  AudioDeviceUnit(std::uint8_t track, std::shared_ptr<platform::AVCaptureDevice> device);
};

}  // namespace fluvio
