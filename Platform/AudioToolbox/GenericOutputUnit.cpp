#include "Platform/AudioToolbox/GenericOutputUnit.hpp"

namespace platform {

OSStatus GenericOutputUnit::prepare() {
  const auto& input = buses(kAudioUnitScope_Input)[0].format;
  const auto& output = buses(kAudioUnitScope_Output)[0].format;
  if (input && output && !(*input == *output)) return kAudioUnitErr_FormatNotSupported;
  return noErr;
}

OSStatus GenericOutputUnit::render(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                                   std::uint32_t bus, std::uint32_t frames, AudioBufferList* data) {
  if (!isInitialized()) return kAudioUnitErr_Uninitialized;
  if (bus != 0) return kAudioUnitErr_InvalidElement;
  if (data == nullptr) return kAudio_ParamError;
  if (frames > maximumFramesPerSlice()) return kAudioUnitErr_TooManyFramesToProcess;
  return pullInput(flags, timeStamp, 0, frames, data);
}

}  // namespace platform
