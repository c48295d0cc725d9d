#include "Fluvio/Sources/Mixer/AudioMixerBySingleTrack.hpp"

#include "Fluvio/Sources/Extension/AVAudioPCMBufferExtension.hpp"

namespace fluvio {

void AudioMixerBySingleTrack::setSettings(AudioMixerSettings settings) {
  settings_ = std::move(settings);
  if (!track_) return;
  if (auto it = settings_.tracks.find(settings_.mainTrack); it != settings_.tracks.end()) track_->setSettings(it->second);
}

AudioMixer::InputFormats AudioMixerBySingleTrack::inputFormats() const {
  if (!track_ || !track_->audioConverter()) return {};
  return {{track_->id(), track_->audioConverter()->inputFormat()}};
}

void AudioMixerBySingleTrack::setInSourceFormat(
    const std::shared_ptr<const platform::CMFormatDescription>& formatDescription) {
  if (isSameFormat(inSourceFormat_, formatDescription)) return;
  inSourceFormat_ = formatDescription;
  auto format = settings_.makeOutputFormat(formatDescription);
  if (!format || (outputFormat_ && *format == *outputFormat_)) return;
  outputFormat_ = std::move(format);
  track_ = std::make_unique<AudioMixerTrack>(settings_.mainTrack, outputFormat_);
  track_->setDelegate(this);
  if (auto it = settings_.tracks.find(settings_.mainTrack); it != settings_.tracks.end()) track_->setSettings(it->second);
}

void AudioMixerBySingleTrack::append(const platform::CMSampleBuffer& sampleBuffer, std::uint8_t track) {
  if (track != settings_.mainTrack) return;
  setInSourceFormat(sampleBuffer.formatDescription());
  if (track_) track_->append(sampleBuffer);
}

void AudioMixerBySingleTrack::append(const platform::AVAudioPCMBuffer& buffer,
                                     const std::shared_ptr<platform::AVAudioTime>& when, std::uint8_t track) {
  if (track != settings_.mainTrack || !buffer.format()) return;
  setInSourceFormat(buffer.format()->formatDescription());
  if (track_) track_->append(buffer, when);
}

void AudioMixerBySingleTrack::track(AudioMixerTrack&, const std::shared_ptr<platform::AVAudioPCMBuffer>& buffer,
                                    const std::shared_ptr<platform::AVAudioTime>& when) {
  if (auto target = delegate()) target->audioMixer(*this, muted(buffer, settings_.isMuted), when);
}

}  // namespace fluvio
