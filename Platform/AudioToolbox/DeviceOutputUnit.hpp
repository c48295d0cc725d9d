#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "Platform/AVFAudio/AVAudioConverter.hpp"
#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/AVFAudio/AudioOutputDevice.hpp"
#include "Platform/AudioToolbox/AudioUnitInstance.hpp"

namespace platform {

// The device's speaker: while started, the output device asks for periods on
// its render thread, and the unit pulls its input bus (a render callback, in
// the input stream format) through a converter into the device's format.
// The device is ALSA's "default" PCM (which reaches PulseAudio or PipeWire),
// or a real-time null device where no sound card opens.
class DeviceOutputUnit final : public AudioUnitInstance {
 public:
  using DeviceFactory = std::function<std::shared_ptr<AudioOutputDevice>()>;

  // Where units started from now on play; an empty factory restores the default.
  static void setDeviceFactory(DeviceFactory factory);

  DeviceOutputUnit() : AudioUnitInstance(1, 1) {}
  ~DeviceOutputUnit() override;

  OSStatus render(AudioUnitRenderActionFlags*, const AudioTimeStamp*, std::uint32_t, std::uint32_t,
                  AudioBufferList*) override {
    return kAudioUnitErr_CannotDoInCurrentContext;
  }
  OSStatus start() override;
  OSStatus stop() override;

 private:
  std::optional<AudioUnitParameterValue> defaultParameter(AudioUnitParameterID, AudioUnitScope) const override {
    return std::nullopt;
  }
  // One device period, on the render thread.
  void renderPeriod(AVAudioPCMBuffer& period, std::uint64_t hostTime);

  std::shared_ptr<AudioOutputDevice> device_;
  std::shared_ptr<AVAudioConverter> converter_;
  std::shared_ptr<AVAudioPCMBuffer> input_;
  AudioTimeStamp timeStamp_;
};

}  // namespace platform
