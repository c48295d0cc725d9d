#pragma once

#include <cstdint>
#include <exception>
#include <memory>

#include "Fluvio/Sources/Mixer/AudioMixerTrackSettings.hpp"
#include "Fluvio/Sources/Util/AudioRingBuffer.hpp"
#include "Fluvio/Sources/Util/AudioTime.hpp"
#include "Platform/AVFAudio/AVAudioConverter.hpp"
#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/AVFAudio/AVAudioTime.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace fluvio {

class AudioMixerTrack;

// Both absent, or equal descriptions.
bool isSameFormat(const std::shared_ptr<const platform::CMFormatDescription>& lhs,
                  const std::shared_ptr<const platform::CMFormatDescription>& rhs);

// Receives a track's converted blocks. The block is the track's own buffer,
// overwritten by the next conversion: copy what you keep.
class AudioMixerTrackDelegate {
 public:
  virtual ~AudioMixerTrackDelegate() = default;
  virtual void track(AudioMixerTrack& track, const std::shared_ptr<platform::AVAudioPCMBuffer>& buffer,
                     const std::shared_ptr<platform::AVAudioTime>& when) = 0;
  virtual void track(AudioMixerTrack& track, const std::exception& errorOccurred) = 0;
};

// One input of an audio mixer: takes a track's audio in whatever PCM format
// it comes, converts it to the mixer's output format and hands it on in
// blocks of 1,024 frames stamped on a sample clock that starts at the first
// buffer after each change of input format. Used from one context at a time.
class AudioMixerTrack {
 public:
  static constexpr platform::AVAudioFrameCount blockFrames = 1024;
  static constexpr platform::AVAudioFrameCount inputFrames = 4096;
  static constexpr std::uint32_t ringBufferCounts = 16;

  AudioMixerTrack(std::uint8_t id, std::shared_ptr<platform::AVAudioFormat> outputFormat)
      : id_(id), outputFormat_(std::move(outputFormat)) {}

  std::uint8_t id() const noexcept { return id_; }
  const std::shared_ptr<platform::AVAudioFormat>& outputFormat() const noexcept { return outputFormat_; }
  void setDelegate(AudioMixerTrackDelegate* delegate) noexcept { delegate_ = delegate; }

  const AudioMixerTrackSettings& settings() const noexcept { return settings_; }
  void setSettings(AudioMixerTrackSettings settings);

  const std::shared_ptr<platform::AVAudioConverter>& audioConverter() const noexcept { return audioConverter_; }
  const std::shared_ptr<const platform::CMFormatDescription>& inSourceFormat() const noexcept {
    return inSourceFormat_;
  }

  void append(const platform::CMSampleBuffer& sampleBuffer);
  void append(const platform::AVAudioPCMBuffer& buffer, const std::shared_ptr<platform::AVAudioTime>& when);

 private:
  // True when the pipeline takes the format.
  bool setInSourceFormat(const std::shared_ptr<const platform::CMFormatDescription>& formatDescription);
  void setUp(const std::shared_ptr<const platform::CMFormatDescription>& formatDescription);
  void pull();

  std::uint8_t id_;
  std::shared_ptr<platform::AVAudioFormat> outputFormat_;
  AudioMixerTrackDelegate* delegate_ = nullptr;
  AudioMixerTrackSettings settings_;
  std::shared_ptr<const platform::CMFormatDescription> inSourceFormat_;
  std::shared_ptr<AudioTime> audioTime_ = AudioTime::make();
  std::shared_ptr<AudioRingBuffer> ringBuffer_;
  std::shared_ptr<platform::AVAudioPCMBuffer> inputBuffer_;
  std::shared_ptr<platform::AVAudioPCMBuffer> outputBuffer_;
  std::shared_ptr<platform::AVAudioConverter> audioConverter_;
};

}  // namespace fluvio
