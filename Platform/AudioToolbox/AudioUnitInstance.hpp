#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "Platform/AudioToolbox/AudioUnitTypes.hpp"
#include "Platform/CoreMedia/AudioStreamBasicDescription.hpp"

namespace platform {

// What every unit keeps per bus and answers for every property: stream
// formats, element counts, render callbacks, connections and parameters.
// Kinds of unit add what they render.
class AudioUnitInstance {
 public:
  AudioUnitInstance(std::uint32_t inputCount, std::uint32_t outputCount);
  virtual ~AudioUnitInstance() = default;

  AudioUnitInstance(const AudioUnitInstance&) = delete;
  AudioUnitInstance& operator=(const AudioUnitInstance&) = delete;

  OSStatus initialize();
  void uninitialize();
  bool isInitialized() const noexcept { return initialized_; }

  virtual OSStatus setProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                               const void* data, std::uint32_t size);
  virtual OSStatus getProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, void* data,
                               std::uint32_t* size) const;
  OSStatus setParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                        AudioUnitParameterValue value);
  OSStatus getParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                        AudioUnitParameterValue* value) const;

  virtual OSStatus render(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp, std::uint32_t bus,
                          std::uint32_t frames, AudioBufferList* data) = 0;
  virtual OSStatus start() { return kAudioUnitErr_InvalidProperty; }
  virtual OSStatus stop() { return kAudioUnitErr_InvalidProperty; }

 protected:
  struct Bus {
    std::optional<AudioStreamBasicDescription> format;
    AURenderCallbackStruct callback;
    AudioUnitConnection connection;
    std::map<AudioUnitParameterID, AudioUnitParameterValue> parameters;
  };

  // Checks the formats before the unit renders; noErr by default.
  virtual OSStatus prepare() { return noErr; }
  // Parameters a kind of unit knows, with their value on a new bus.
  virtual std::optional<AudioUnitParameterValue> defaultParameter(AudioUnitParameterID id,
                                                                  AudioUnitScope scope) const = 0;

  std::vector<Bus>& buses(AudioUnitScope scope) noexcept { return scope == kAudioUnitScope_Input ? inputs_ : outputs_; }
  const std::vector<Bus>& buses(AudioUnitScope scope) const noexcept {
    return scope == kAudioUnitScope_Input ? inputs_ : outputs_;
  }
  // Renders input `bus` through its callback or connection.
  OSStatus pullInput(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp, std::uint32_t bus,
                     std::uint32_t frames, AudioBufferList* data);
  bool hasSource(std::uint32_t bus) const noexcept;
  AudioUnitParameterValue parameter(AudioUnitParameterID id, AudioUnitScope scope, std::uint32_t bus) const;
  std::uint32_t maximumFramesPerSlice() const noexcept { return maximumFramesPerSlice_; }

 private:
  Bus* bus(AudioUnitScope scope, AudioUnitElement element);
  const Bus* bus(AudioUnitScope scope, AudioUnitElement element) const;

  std::vector<Bus> inputs_;
  std::vector<Bus> outputs_;
  std::uint32_t maximumFramesPerSlice_ = 4096;
  bool initialized_ = false;
};

}  // namespace platform
