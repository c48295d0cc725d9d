#pragma once

#include <cstdint>

#include "Platform/AudioToolbox/AudioUnitTypes.hpp"

namespace platform {

// The audio-unit calls. Every call on a unit must come from one thread at a
// time, except AudioOutputUnitStart/Stop of a device output unit, whose render
// callback then runs on the device's render thread.

// The first registered component after `inComponent` (null: from the start)
// that matches the description's non-zero fields; null when none does.
AudioComponent AudioComponentFindNext(AudioComponent inComponent, const AudioComponentDescription* inDesc);
OSStatus AudioComponentInstanceNew(AudioComponent inComponent, AudioUnit* outInstance);
OSStatus AudioComponentInstanceDispose(AudioUnit inInstance);

OSStatus AudioUnitInitialize(AudioUnit inUnit);
OSStatus AudioUnitUninitialize(AudioUnit inUnit);

OSStatus AudioUnitSetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, const void* inData, std::uint32_t inDataSize);
OSStatus AudioUnitGetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, void* outData, std::uint32_t* ioDataSize);
OSStatus AudioUnitSetParameter(AudioUnit inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                               AudioUnitElement inElement, AudioUnitParameterValue inValue,
                               std::uint32_t inBufferOffsetInFrames);
OSStatus AudioUnitGetParameter(AudioUnit inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                               AudioUnitElement inElement, AudioUnitParameterValue* outValue);

// Pulls `inNumberOfFrames` frames of output bus `inOutputBusNumber` into `ioData`.
OSStatus AudioUnitRender(AudioUnit inUnit, AudioUnitRenderActionFlags* ioActionFlags,
                         const AudioTimeStamp* inTimeStamp, std::uint32_t inOutputBusNumber,
                         std::uint32_t inNumberOfFrames, AudioBufferList* ioData);

OSStatus AudioOutputUnitStart(AudioUnit inUnit);
OSStatus AudioOutputUnitStop(AudioUnit inUnit);

}  // namespace platform
