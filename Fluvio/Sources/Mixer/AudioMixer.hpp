#pragma once

#include <cstdint>
#include <exception>
#include <map>
#include <memory>

#include "Fluvio/Sources/Mixer/AudioMixerSettings.hpp"
#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/AVFAudio/AVAudioTime.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace fluvio {

class AudioMixer;

// Receives the mixed output, one block of 1,024 frames at a time. The block
// is the mixer's own buffer, reused for the next one: copy what you keep.
class AudioMixerDelegate {
 public:
  virtual ~AudioMixerDelegate() = default;
  virtual void audioMixer(AudioMixer& mixer, const std::shared_ptr<platform::AVAudioPCMBuffer>& buffer,
                          const std::shared_ptr<platform::AVAudioTime>& when) = 0;
  virtual void audioMixer(AudioMixer&, const std::exception& /*errorOccurred*/) {}
};

// Takes the audio of numbered tracks in any PCM format and delivers one
// stream of timed blocks in the output format, paced by the main track.
// Used from one context at a time (the capture unit's queue).
class AudioMixer {
 public:
  using InputFormats = std::map<std::uint8_t, std::shared_ptr<platform::AVAudioFormat>>;

  virtual ~AudioMixer() = default;

  std::shared_ptr<AudioMixerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<AudioMixerDelegate> delegate) { delegate_ = std::move(delegate); }

  const AudioMixerSettings& settings() const noexcept { return settings_; }
  virtual void setSettings(AudioMixerSettings settings) = 0;
  // Each track's converter input format.
  virtual InputFormats inputFormats() const = 0;
  // Set by the main track's first buffer.
  const std::shared_ptr<platform::AVAudioFormat>& outputFormat() const noexcept { return outputFormat_; }

  virtual void append(const platform::CMSampleBuffer& sampleBuffer, std::uint8_t track) = 0;
  virtual void append(const platform::AVAudioPCMBuffer& buffer, const std::shared_ptr<platform::AVAudioTime>& when,
                      std::uint8_t track) = 0;

 protected:
  AudioMixerSettings settings_;
  std::shared_ptr<platform::AVAudioFormat> outputFormat_;
  // The main track's format the output format was made from.
  std::shared_ptr<const platform::CMFormatDescription> inSourceFormat_;

 private:
  std::weak_ptr<AudioMixerDelegate> delegate_;
};

}  // namespace fluvio
