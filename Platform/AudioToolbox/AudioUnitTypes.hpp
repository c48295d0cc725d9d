#pragma once

#include <cstdint>

#include "Platform/AVFAudio/AudioBufferList.hpp"
#include "Platform/CoreMedia/FourCharCode.hpp"
#include "Platform/CoreMedia/OSStatus.hpp"

namespace platform {

class AudioUnitInstance;
class AudioComponentEntry;
// A unit instance; made by AudioComponentInstanceNew, freed by AudioComponentInstanceDispose.
using AudioUnit = AudioUnitInstance*;
using AudioComponent = const AudioComponentEntry*;

using AudioUnitPropertyID = std::uint32_t;
using AudioUnitParameterID = std::uint32_t;
using AudioUnitScope = std::uint32_t;
using AudioUnitElement = std::uint32_t;
using AudioUnitParameterValue = float;
using AudioUnitRenderActionFlags = std::uint32_t;

inline constexpr AudioUnitScope kAudioUnitScope_Global = 0;
inline constexpr AudioUnitScope kAudioUnitScope_Input = 1;
inline constexpr AudioUnitScope kAudioUnitScope_Output = 2;

inline constexpr AudioUnitPropertyID kAudioUnitProperty_MakeConnection = 1;
inline constexpr AudioUnitPropertyID kAudioUnitProperty_StreamFormat = 8;
inline constexpr AudioUnitPropertyID kAudioUnitProperty_ElementCount = 11;
inline constexpr AudioUnitPropertyID kAudioUnitProperty_MaximumFramesPerSlice = 14;
inline constexpr AudioUnitPropertyID kAudioUnitProperty_SetRenderCallback = 23;

inline constexpr AudioUnitParameterID kMultiChannelMixerParam_Volume = 0;
inline constexpr AudioUnitParameterID kMultiChannelMixerParam_Enable = 1;

inline constexpr FourCharCode kAudioUnitType_Output = fourCC("auou");
inline constexpr FourCharCode kAudioUnitType_Mixer = fourCC("aumx");
inline constexpr FourCharCode kAudioUnitSubType_GenericOutput = fourCC("genr");
inline constexpr FourCharCode kAudioUnitSubType_RemoteIO = fourCC("rioc");
inline constexpr FourCharCode kAudioUnitSubType_MultiChannelMixer = fourCC("mcmx");
inline constexpr FourCharCode kAudioUnitManufacturer_Apple = fourCC("appl");

inline constexpr OSStatus kAudio_ParamError = -50;
inline constexpr OSStatus kAudioUnitErr_InvalidProperty = -10879;
inline constexpr OSStatus kAudioUnitErr_InvalidParameter = -10878;
inline constexpr OSStatus kAudioUnitErr_InvalidElement = -10877;
inline constexpr OSStatus kAudioUnitErr_NoConnection = -10876;
inline constexpr OSStatus kAudioUnitErr_TooManyFramesToProcess = -10874;
inline constexpr OSStatus kAudioUnitErr_FormatNotSupported = -10868;
inline constexpr OSStatus kAudioUnitErr_Uninitialized = -10867;
inline constexpr OSStatus kAudioUnitErr_InvalidScope = -10866;
inline constexpr OSStatus kAudioUnitErr_CannotDoInCurrentContext = -10863;
inline constexpr OSStatus kAudioUnitErr_InvalidPropertyValue = -10851;

struct AudioComponentDescription {
  FourCharCode componentType = 0;
  FourCharCode componentSubType = 0;
  FourCharCode componentManufacturer = 0;
  std::uint32_t componentFlags = 0;
  std::uint32_t componentFlagsMask = 0;
};

inline constexpr std::uint32_t kAudioTimeStampSampleTimeValid = 1u << 0;
inline constexpr std::uint32_t kAudioTimeStampHostTimeValid = 1u << 1;

struct AudioTimeStamp {
  double mSampleTime = 0;
  std::uint64_t mHostTime = 0;
  std::uint32_t mFlags = 0;
};

// Asked by a unit for `inNumberFrames` frames of input bus `inBusNumber`,
// written into `ioData` in the bus's stream format.
using AURenderCallback = OSStatus (*)(void* inRefCon, AudioUnitRenderActionFlags* ioActionFlags,
                                      const AudioTimeStamp* inTimeStamp, std::uint32_t inBusNumber,
                                      std::uint32_t inNumberFrames, AudioBufferList* ioData);

struct AURenderCallbackStruct {
  AURenderCallback inputProc = nullptr;
  void* inputProcRefCon = nullptr;
};

// Feeds input `destInputNumber` of the unit the property is set on from
// output `sourceOutputNumber` of `sourceAudioUnit`; a null source disconnects.
struct AudioUnitConnection {
  AudioUnit sourceAudioUnit = nullptr;
  std::uint32_t sourceOutputNumber = 0;
  std::uint32_t destInputNumber = 0;
};

}  // namespace platform
