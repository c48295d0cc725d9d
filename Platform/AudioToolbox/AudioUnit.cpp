#include "Platform/AudioToolbox/AudioUnit.hpp"

#include <array>
#include <memory>

#include "Platform/AudioToolbox/AudioUnitInstance.hpp"
#include "Platform/AudioToolbox/DeviceOutputUnit.hpp"
#include "Platform/AudioToolbox/GenericOutputUnit.hpp"
#include "Platform/AudioToolbox/MultiChannelMixerUnit.hpp"

namespace platform {

class AudioComponentEntry {
 public:
  using Make = AudioUnitInstance* (*)();
  AudioComponentDescription description;
  Make make;
};

namespace {

template <class Unit>
AudioUnitInstance* makeUnit() {
  return new Unit();
}

const std::array<AudioComponentEntry, 3>& components() {
  static const std::array<AudioComponentEntry, 3> entries{{
      {{kAudioUnitType_Mixer, kAudioUnitSubType_MultiChannelMixer, kAudioUnitManufacturer_Apple, 0, 0},
       &makeUnit<MultiChannelMixerUnit>},
      {{kAudioUnitType_Output, kAudioUnitSubType_GenericOutput, kAudioUnitManufacturer_Apple, 0, 0},
       &makeUnit<GenericOutputUnit>},
      {{kAudioUnitType_Output, kAudioUnitSubType_RemoteIO, kAudioUnitManufacturer_Apple, 0, 0},
       &makeUnit<DeviceOutputUnit>},
  }};
  return entries;
}

bool matches(const AudioComponentDescription& wanted, const AudioComponentDescription& offered) {
  return (wanted.componentType == 0 || wanted.componentType == offered.componentType) &&
         (wanted.componentSubType == 0 || wanted.componentSubType == offered.componentSubType) &&
         (wanted.componentManufacturer == 0 || wanted.componentManufacturer == offered.componentManufacturer);
}

}  // namespace

AudioComponent AudioComponentFindNext(AudioComponent inComponent, const AudioComponentDescription* inDesc) {
  if (inDesc == nullptr) return nullptr;
  const auto& entries = components();
  auto it = entries.begin();
  if (inComponent != nullptr) {
    while (it != entries.end() && &*it != inComponent) ++it;
    if (it != entries.end()) ++it;
  }
  for (; it != entries.end(); ++it) {
    if (matches(*inDesc, it->description)) return &*it;
  }
  return nullptr;
}

OSStatus AudioComponentInstanceNew(AudioComponent inComponent, AudioUnit* outInstance) {
  if (inComponent == nullptr || outInstance == nullptr) return kAudio_ParamError;
  *outInstance = inComponent->make();
  return noErr;
}

OSStatus AudioComponentInstanceDispose(AudioUnit inInstance) {
  delete inInstance;
  return noErr;
}

OSStatus AudioUnitInitialize(AudioUnit inUnit) { return inUnit ? inUnit->initialize() : kAudio_ParamError; }

OSStatus AudioUnitUninitialize(AudioUnit inUnit) {
  if (inUnit == nullptr) return kAudio_ParamError;
  inUnit->uninitialize();
  return noErr;
}

OSStatus AudioUnitSetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, const void* inData, std::uint32_t inDataSize) {
  return inUnit ? inUnit->setProperty(inID, inScope, inElement, inData, inDataSize) : kAudio_ParamError;
}

OSStatus AudioUnitGetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, void* outData, std::uint32_t* ioDataSize) {
  return inUnit ? inUnit->getProperty(inID, inScope, inElement, outData, ioDataSize) : kAudio_ParamError;
}

OSStatus AudioUnitSetParameter(AudioUnit inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                               AudioUnitElement inElement, AudioUnitParameterValue inValue, std::uint32_t) {
  return inUnit ? inUnit->setParameter(inID, inScope, inElement, inValue) : kAudio_ParamError;
}

OSStatus AudioUnitGetParameter(AudioUnit inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                               AudioUnitElement inElement, AudioUnitParameterValue* outValue) {
  return inUnit ? inUnit->getParameter(inID, inScope, inElement, outValue) : kAudio_ParamError;
}

OSStatus AudioUnitRender(AudioUnit inUnit, AudioUnitRenderActionFlags* ioActionFlags,
                         const AudioTimeStamp* inTimeStamp, std::uint32_t inOutputBusNumber,
                         std::uint32_t inNumberOfFrames, AudioBufferList* ioData) {
  if (inUnit == nullptr) return kAudio_ParamError;
  return inUnit->render(ioActionFlags, inTimeStamp, inOutputBusNumber, inNumberOfFrames, ioData);
}

OSStatus AudioOutputUnitStart(AudioUnit inUnit) { return inUnit ? inUnit->start() : kAudio_ParamError; }
OSStatus AudioOutputUnitStop(AudioUnit inUnit) { return inUnit ? inUnit->stop() : kAudio_ParamError; }

}  // namespace platform
