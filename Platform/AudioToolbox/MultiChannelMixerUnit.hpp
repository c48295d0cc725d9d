#pragma once

#include <cstdint>
#include <vector>

#include "Platform/AudioToolbox/AudioUnitInstance.hpp"

namespace platform {

// Sums its enabled input buses, each scaled by its volume, into one output
// bus; the output volume scales the sum, and integer output saturates. Every
// input runs at the output's rate and channel count (a bus without a format
// takes the output's). Eight input buses until the element count changes.
class MultiChannelMixerUnit final : public AudioUnitInstance {
 public:
  MultiChannelMixerUnit() : AudioUnitInstance(8, 1) {}

  OSStatus render(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp, std::uint32_t bus,
                  std::uint32_t frames, AudioBufferList* data) override;

 private:
  struct Scratch {
    std::vector<std::uint8_t> bytes;
    std::vector<AudioBuffer> buffers;
    AudioBufferList list;
  };

  OSStatus prepare() override;
  std::optional<AudioUnitParameterValue> defaultParameter(AudioUnitParameterID id, AudioUnitScope scope) const override;

  std::vector<Scratch> scratch_;
  std::vector<float> mix_;
  std::vector<float> input_;
};

}  // namespace platform
