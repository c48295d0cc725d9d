#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "Platform/AudioToolbox/AudioUnit.hpp"

namespace fluvio {

// Owns one audio unit of the mixer graph: made from its component
// description, stopped and disposed of with the node.
class AudioNode {
 public:
  class Error : public std::exception {
   public:
    enum class Case {
      unableToCreateAudioUnit,
      unableToInitializeAudioUnit,
      unableToUpdateBus,
      unableToRetrieveValue,
      unableToConnectToNode,
      unableToFindAudioComponent,
    };
    Error(Case errorCase, platform::OSStatus status = platform::noErr);
    Case errorCase() const noexcept { return case_; }
    platform::OSStatus status() const noexcept { return status_; }
    const char* what() const noexcept override { return message_.c_str(); }

   private:
    Case case_;
    platform::OSStatus status_;
    std::string message_;
  };

  enum class BusScope : platform::AudioUnitScope {
    input = platform::kAudioUnitScope_Input,
    output = platform::kAudioUnitScope_Output,
  };

  explicit AudioNode(const platform::AudioComponentDescription& description);
  virtual ~AudioNode();

  AudioNode(const AudioNode&) = delete;
  AudioNode& operator=(const AudioNode&) = delete;

  platform::AudioUnit audioUnit() const noexcept { return audioUnit_; }

  // Feeds `destBus` of `node` from `sourceBus` of this node.
  void connect(const AudioNode& node, std::uint32_t sourceBus, std::uint32_t destBus) const;
  void update(std::uint32_t busCount, BusScope scope) const;
  std::uint32_t busCount(BusScope scope) const;

 private:
  platform::AudioUnit audioUnit_ = nullptr;
};

// The multichannel mixer unit.
class MixerNode final : public AudioNode {
 public:
  static const platform::AudioComponentDescription mixerComponentDescription;
  MixerNode() : AudioNode(mixerComponentDescription) {}
};

}  // namespace fluvio
