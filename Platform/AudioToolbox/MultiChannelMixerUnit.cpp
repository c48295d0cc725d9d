#include "Platform/AudioToolbox/MultiChannelMixerUnit.hpp"

#include <algorithm>

#include "Platform/AudioToolbox/PCMSamples.hpp"

namespace platform {

std::optional<AudioUnitParameterValue> MultiChannelMixerUnit::defaultParameter(AudioUnitParameterID id,
                                                                               AudioUnitScope scope) const {
  if (id == kMultiChannelMixerParam_Volume) return 1.0f;
  if (id == kMultiChannelMixerParam_Enable && scope == kAudioUnitScope_Input) return 1.0f;
  return std::nullopt;
}

OSStatus MultiChannelMixerUnit::prepare() {
  auto& output = buses(kAudioUnitScope_Output)[0];
  if (!output.format) return kAudioUnitErr_FormatNotSupported;
  const auto& out = *output.format;
  auto& inputs = buses(kAudioUnitScope_Input);
  scratch_.clear();
  scratch_.resize(inputs.size());
  for (std::size_t index = 0; index < inputs.size(); ++index) {
    auto& bus = inputs[index];
    if (!bus.format) bus.format = out;
    const auto& format = *bus.format;
    if (format.mSampleRate != out.mSampleRate || format.mChannelsPerFrame != out.mChannelsPerFrame) {
      return kAudioUnitErr_FormatNotSupported;
    }
    auto& scratch = scratch_[index];
    const std::uint32_t bufferCount = format.isNonInterleaved() ? format.mChannelsPerFrame : 1;
    const std::size_t bytesPerBuffer = std::size_t(maximumFramesPerSlice()) * format.mBytesPerFrame;
    scratch.bytes.assign(bytesPerBuffer * bufferCount, 0);
    scratch.buffers.resize(bufferCount);
    for (std::uint32_t buffer = 0; buffer < bufferCount; ++buffer) {
      scratch.buffers[buffer].mNumberChannels = format.isNonInterleaved() ? 1 : format.mChannelsPerFrame;
      scratch.buffers[buffer].mData = scratch.bytes.data() + buffer * bytesPerBuffer;
    }
    scratch.list.mNumberBuffers = bufferCount;
    scratch.list.mBuffers = scratch.buffers.data();
  }
  mix_.assign(std::size_t(maximumFramesPerSlice()) * out.mChannelsPerFrame, 0);
  input_.assign(mix_.size(), 0);
  return noErr;
}

OSStatus MultiChannelMixerUnit::render(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                                       std::uint32_t bus, std::uint32_t frames, AudioBufferList* data) {
  if (!isInitialized()) return kAudioUnitErr_Uninitialized;
  if (bus != 0) return kAudioUnitErr_InvalidElement;
  if (data == nullptr) return kAudio_ParamError;
  if (frames > maximumFramesPerSlice()) return kAudioUnitErr_TooManyFramesToProcess;
  const auto& out = *buses(kAudioUnitScope_Output)[0].format;
  const std::size_t samples = std::size_t(frames) * out.mChannelsPerFrame;
  std::fill_n(mix_.begin(), samples, 0.0f);
  const auto& inputs = buses(kAudioUnitScope_Input);
  for (std::uint32_t index = 0; index < inputs.size() && index < scratch_.size(); ++index) {
    if (parameter(kMultiChannelMixerParam_Enable, kAudioUnitScope_Input, index) == 0 || !hasSource(index)) continue;
    auto& scratch = scratch_[index];
    const auto& format = *inputs[index].format;
    for (auto& buffer : scratch.list.buffers()) buffer.mDataByteSize = frames * format.mBytesPerFrame;
    if (const auto status = pullInput(flags, timeStamp, index, frames, &scratch.list); status != noErr) return status;
    if (!readPCMAsFloat(format, scratch.list, frames, input_)) return kAudioUnitErr_InvalidPropertyValue;
    const float volume = parameter(kMultiChannelMixerParam_Volume, kAudioUnitScope_Input, index);
    for (std::size_t sample = 0; sample < samples; ++sample) mix_[sample] += input_[sample] * volume;
  }
  const float outputVolume = parameter(kMultiChannelMixerParam_Volume, kAudioUnitScope_Output, 0);
  for (std::size_t sample = 0; sample < samples; ++sample) mix_[sample] *= outputVolume;
  return writePCMFromFloat(out, mix_, frames, *data) ? noErr : kAudio_ParamError;
}

}  // namespace platform
