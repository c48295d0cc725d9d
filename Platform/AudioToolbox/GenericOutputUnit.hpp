#pragma once

#include "Platform/AudioToolbox/AudioUnitInstance.hpp"

namespace platform {

// An output that plays nowhere: rendering it pulls its one input (callback
// or connection) into the caller's buffers. Input and output share one format.
class GenericOutputUnit final : public AudioUnitInstance {
 public:
  GenericOutputUnit() : AudioUnitInstance(1, 1) {}

  OSStatus render(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp, std::uint32_t bus,
                  std::uint32_t frames, AudioBufferList* data) override;
  OSStatus start() override { return noErr; }
  OSStatus stop() override { return noErr; }

 private:
  OSStatus prepare() override;
  std::optional<AudioUnitParameterValue> defaultParameter(AudioUnitParameterID, AudioUnitScope) const override {
    return std::nullopt;
  }
};

}  // namespace platform
