#pragma once

#include <memory>

#include "Fluvio/Sources/Mixer/AudioMixer.hpp"
#include "Fluvio/Sources/Mixer/AudioMixerTrack.hpp"

namespace fluvio {

// Passes the main track through its converter; other tracks are ignored.
class AudioMixerBySingleTrack final : public AudioMixer, private AudioMixerTrackDelegate {
 public:
  void setSettings(AudioMixerSettings settings) override;
  InputFormats inputFormats() const override;

  void append(const platform::CMSampleBuffer& sampleBuffer, std::uint8_t track) override;
  void append(const platform::AVAudioPCMBuffer& buffer, const std::shared_ptr<platform::AVAudioTime>& when,
              std::uint8_t track) override;

 private:
  void setInSourceFormat(const std::shared_ptr<const platform::CMFormatDescription>& formatDescription);
  void track(AudioMixerTrack& track, const std::shared_ptr<platform::AVAudioPCMBuffer>& buffer,
             const std::shared_ptr<platform::AVAudioTime>& when) override;
  void track(AudioMixerTrack&, const std::exception&) override {}

  std::unique_ptr<AudioMixerTrack> track_;
};

}  // namespace fluvio
