#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "Fluvio/Sources/Mixer/AudioMixer.hpp"
#include "Fluvio/Sources/Mixer/AudioMixerTrack.hpp"
#include "Fluvio/Sources/Mixer/AudioNode.hpp"
#include "Fluvio/Sources/Mixer/OutputNode.hpp"
#include "Fluvio/Sources/Util/AudioRingBuffer.hpp"

namespace fluvio {

// Mixes every track through a multichannel mixer unit, one input bus per
// track id, pulled through a generic output unit whenever the main track
// has converted a block; other tracks are heard as silence while their rings
// are empty. Nothing exists until the main track's first buffer sets the
// output format.
class AudioMixerByMultiTrack final : public AudioMixer, private AudioMixerTrackDelegate {
 public:
  void setSettings(AudioMixerSettings settings) override;
  InputFormats inputFormats() const override;

  void append(const platform::CMSampleBuffer& sampleBuffer, std::uint8_t track) override;
  void append(const platform::AVAudioPCMBuffer& buffer, const std::shared_ptr<platform::AVAudioTime>& when,
              std::uint8_t track) override;

  // The mixer unit's input bus count; 0 without a graph.
  std::uint32_t busCount() const;

 private:
  AudioMixerTrack* trackFor(std::uint8_t id);
  std::unique_ptr<AudioMixerTrack> makeTrack(std::uint8_t id);
  void setInSourceFormat(const std::shared_ptr<const platform::CMFormatDescription>& formatDescription);
  void setOutputFormat(std::shared_ptr<platform::AVAudioFormat> format);
  void setupAudioNodes();
  void tryToSetupAudioNodes();
  void renderOutput(platform::AVAudioFrameCount frameCount);
  void setVolume(std::uint8_t id, float volume) const;

  void track(AudioMixerTrack& track, const std::shared_ptr<platform::AVAudioPCMBuffer>& buffer,
             const std::shared_ptr<platform::AVAudioTime>& when) override;
  void track(AudioMixerTrack&, const std::exception&) override {}

  static platform::OSStatus inputRenderCallback(void* refCon, platform::AudioUnitRenderActionFlags* flags,
                                                const platform::AudioTimeStamp* timeStamp, std::uint32_t bus,
                                                std::uint32_t frames, platform::AudioBufferList* data);

  std::map<std::uint8_t, std::unique_ptr<AudioMixerTrack>> tracks_;
  std::shared_ptr<platform::AVAudioTime> anchor_;
  std::map<std::uint8_t, std::shared_ptr<AudioRingBuffer>> buffers_;
  std::int64_t sampleTime_ = 0;
  // The output node pulls the mixer node: it goes first.
  std::unique_ptr<OutputNode> outputNode_;
  std::unique_ptr<MixerNode> mixerNode_;
};

}  // namespace fluvio
