#include "Fluvio/Sources/Mixer/AudioMixerByMultiTrack.hpp"

#include <algorithm>

#include "Fluvio/Sources/Extension/AVAudioPCMBufferExtension.hpp"
#include "Fluvio/Sources/Util/FluvioLogger.hpp"
#include "Platform/AudioToolbox/PCMSamples.hpp"

namespace fluvio {

namespace {

using platform::noErr;
using platform::OSStatus;

void throwIfFailed(OSStatus status) {
  if (status != noErr) throw AudioNode::Error(AudioNode::Error::Case::unableToUpdateBus, status);
}

}  // namespace

std::uint32_t AudioMixerByMultiTrack::busCount() const {
  return mixerNode_ ? mixerNode_->busCount(AudioNode::BusScope::input) : 0;
}

AudioMixer::InputFormats AudioMixerByMultiTrack::inputFormats() const {
  InputFormats formats;
  for (const auto& [id, track] : tracks_) {
    if (track->audioConverter()) formats[id] = track->audioConverter()->inputFormat();
  }
  return formats;
}

void AudioMixerByMultiTrack::append(const platform::CMSampleBuffer& sampleBuffer, std::uint8_t track) {
  if (track == settings_.mainTrack) setInSourceFormat(sampleBuffer.formatDescription());
  if (auto* target = trackFor(track)) target->append(sampleBuffer);
}

void AudioMixerByMultiTrack::append(const platform::AVAudioPCMBuffer& buffer,
                                    const std::shared_ptr<platform::AVAudioTime>& when, std::uint8_t track) {
  if (!buffer.format()) return;
  if (track == settings_.mainTrack) setInSourceFormat(buffer.format()->formatDescription());
  if (auto* target = trackFor(track)) target->append(buffer, when);
}

std::unique_ptr<AudioMixerTrack> AudioMixerByMultiTrack::makeTrack(std::uint8_t id) {
  auto track = std::make_unique<AudioMixerTrack>(id, outputFormat_);
  track->setDelegate(this);
  // Settings given before the track existed apply before its first buffer.
  if (auto it = settings_.tracks.find(id); it != settings_.tracks.end()) track->setSettings(it->second);
  return track;
}

AudioMixerTrack* AudioMixerByMultiTrack::trackFor(std::uint8_t id) {
  if (auto it = tracks_.find(id); it != tracks_.end()) return it->second.get();
  if (!outputFormat_) return nullptr;
  auto* track = (tracks_[id] = makeTrack(id)).get();
  tryToSetupAudioNodes();
  if (auto ring = AudioRingBuffer::make(outputFormat_, AudioMixerTrack::ringBufferCounts)) {
    buffers_[id] = std::move(ring);
  } else {
    buffers_.erase(id);
  }
  return track;
}

void AudioMixerByMultiTrack::setInSourceFormat(
    const std::shared_ptr<const platform::CMFormatDescription>& formatDescription) {
  if (isSameFormat(inSourceFormat_, formatDescription)) return;
  inSourceFormat_ = formatDescription;
  setOutputFormat(settings_.makeOutputFormat(formatDescription));
}

void AudioMixerByMultiTrack::setOutputFormat(std::shared_ptr<platform::AVAudioFormat> format) {
  if (!format || (outputFormat_ && *format == *outputFormat_)) return;
  outputFormat_ = std::move(format);
  for (auto& [id, track] : tracks_) {
    if (auto ring = AudioRingBuffer::make(outputFormat_, AudioMixerTrack::ringBufferCounts)) {
      buffers_[id] = std::move(ring);
    } else {
      buffers_.erase(id);
    }
    track = makeTrack(id);
  }
  tryToSetupAudioNodes();
}

void AudioMixerByMultiTrack::setSettings(AudioMixerSettings settings) {
  const auto old = std::exchange(settings_, std::move(settings));
  if (inSourceFormat_ && (old.sampleRate != settings_.sampleRate || old.channels != settings_.channels)) {
    setOutputFormat(settings_.makeOutputFormat(inSourceFormat_));
  }
  for (const auto& [id, trackSettings] : settings_.tracks) {
    if (auto it = tracks_.find(id); it != tracks_.end()) it->second->setSettings(trackSettings);
    if (mixerNode_) setVolume(id, trackSettings.volume);
  }
}

void AudioMixerByMultiTrack::setVolume(std::uint8_t id, float volume) const {
  platform::AudioUnitSetParameter(mixerNode_->audioUnit(), platform::kMultiChannelMixerParam_Volume,
                                  platform::kAudioUnitScope_Input, id, std::clamp(volume, 0.0f, 1.0f), 0);
}

void AudioMixerByMultiTrack::tryToSetupAudioNodes() {
  try {
    setupAudioNodes();
  } catch (const std::exception& error) {
    TP_ERROR(logger(), error.what());
  }
}

void AudioMixerByMultiTrack::setupAudioNodes() {
  outputNode_.reset();
  mixerNode_.reset();
  if (!outputFormat_) return;
  sampleTime_ = 0;
  using platform::kAudioUnitScope_Input;
  using platform::kAudioUnitScope_Output;
  const auto& format = outputFormat_->streamDescription();
  auto mixer = std::make_unique<MixerNode>();
  const auto unit = mixer->audioUnit();
  // One bus per possible id up to the largest, so sparse ids have their bus.
  const std::uint32_t buses = tracks_.empty() ? 0 : std::uint32_t(tracks_.rbegin()->first) + 1;
  mixer->update(buses, AudioNode::BusScope::input);
  const auto count = mixer->busCount(AudioNode::BusScope::input);
  for (std::uint32_t bus = 0; bus < count; ++bus) {
    throwIfFailed(platform::AudioUnitSetParameter(unit, platform::kMultiChannelMixerParam_Enable, kAudioUnitScope_Input,
                                                  bus, 0, 0));
  }
  const platform::AURenderCallbackStruct callback{&inputRenderCallback, this};
  for (const auto& [id, track] : tracks_) {
    throwIfFailed(platform::AudioUnitSetParameter(unit, platform::kMultiChannelMixerParam_Enable, kAudioUnitScope_Input,
                                                  id, 1, 0));
    throwIfFailed(platform::AudioUnitSetProperty(unit, platform::kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input,
                                                 id, &format, sizeof format));
    throwIfFailed(platform::AudioUnitSetProperty(unit, platform::kAudioUnitProperty_SetRenderCallback,
                                                 kAudioUnitScope_Input, id, &callback, sizeof callback));
    throwIfFailed(platform::AudioUnitSetParameter(unit, platform::kMultiChannelMixerParam_Volume, kAudioUnitScope_Input,
                                                  id, std::clamp(track->settings().volume, 0.0f, 1.0f), 0));
  }
  throwIfFailed(platform::AudioUnitSetProperty(unit, platform::kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output,
                                               0, &format, sizeof format));
  throwIfFailed(platform::AudioUnitSetParameter(unit, platform::kMultiChannelMixerParam_Volume, kAudioUnitScope_Output,
                                                0, 1, 0));
  auto output = std::make_unique<OutputNode>(outputFormat_);
  for (const auto scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
    throwIfFailed(platform::AudioUnitSetProperty(output->audioUnit(), platform::kAudioUnitProperty_StreamFormat, scope,
                                                 0, &format, sizeof format));
  }
  mixer->connect(*output, 0, 0);
  for (const auto* node : {static_cast<AudioNode*>(mixer.get()), static_cast<AudioNode*>(output.get())}) {
    if (const auto status = platform::AudioUnitInitialize(node->audioUnit()); status != noErr) {
      throw AudioNode::Error(AudioNode::Error::Case::unableToInitializeAudioUnit, status);
    }
  }
  mixerNode_ = std::move(mixer);
  outputNode_ = std::move(output);
  TP_INFO(logger(), "mixerAudioUnit: ", buses, " buses, ", *outputFormat_);
}

void AudioMixerByMultiTrack::track(AudioMixerTrack& track, const std::shared_ptr<platform::AVAudioPCMBuffer>& buffer,
                                   const std::shared_ptr<platform::AVAudioTime>& when) {
  if (auto it = buffers_.find(track.id()); it != buffers_.end()) it->second->append(*buffer, *when);
  if (track.id() != settings_.mainTrack) return;
  if (sampleTime_ == 0) {
    sampleTime_ = when->sampleTime();
    anchor_ = when;
  }
  renderOutput(buffer->frameLength());
}

void AudioMixerByMultiTrack::renderOutput(platform::AVAudioFrameCount frameCount) {
  if (!outputNode_) return;
  std::shared_ptr<platform::AVAudioPCMBuffer> buffer;
  try {
    buffer = outputNode_->render(frameCount, sampleTime_);
  } catch (const std::exception& error) {
    if (auto target = delegate()) target->audioMixer(*this, error);
    return;
  }
  auto when = platform::AVAudioTime::make(sampleTime_, buffer->format()->sampleRate());
  auto extrapolated = anchor_ ? when->extrapolateTime(*anchor_) : nullptr;
  if (!extrapolated) return;
  if (auto target = delegate()) target->audioMixer(*this, muted(buffer, settings_.isMuted), extrapolated);
  sampleTime_ += frameCount;
}

OSStatus AudioMixerByMultiTrack::inputRenderCallback(void* refCon, platform::AudioUnitRenderActionFlags*,
                                                     const platform::AudioTimeStamp*, std::uint32_t bus,
                                                     std::uint32_t frames, platform::AudioBufferList* data) {
  auto* mixer = static_cast<AudioMixerByMultiTrack*>(refCon);
  const auto it = bus < 256 ? mixer->buffers_.find(static_cast<std::uint8_t>(bus)) : mixer->buffers_.end();
  // A bus without audio is silent, never the previous render's samples.
  if (it == mixer->buffers_.end() || it->second->counts() == 0) {
    platform::silence(*data);
    return noErr;
  }
  it->second->render(frames, data);
  return noErr;
}

}  // namespace fluvio
