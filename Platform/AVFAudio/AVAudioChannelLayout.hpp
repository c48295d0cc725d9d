#pragma once

#include <memory>

#include "Platform/AVFAudio/AVAudioTypes.hpp"
#include "Platform/CoreMedia/AudioChannelLayout.hpp"

namespace platform {

// A channel layout named by its tag; the tag's low 16 bits are its channel count.
class AVAudioChannelLayout {
 public:
  // Nothing for a tag that carries no channel count (layouts described by
  // channel descriptions or a bitmap, and zero-channel tags).
  static std::shared_ptr<AVAudioChannelLayout> make(AudioChannelLayoutTag layoutTag);

  AudioChannelLayoutTag layoutTag() const noexcept { return layoutTag_; }
  AVAudioChannelCount channelCount() const noexcept { return AudioChannelLayoutTag_GetNumberOfChannels(layoutTag_); }
  AudioChannelLayout layout() const noexcept { return {layoutTag_}; }

  friend bool operator==(const AVAudioChannelLayout&, const AVAudioChannelLayout&) = default;

 private:
  explicit AVAudioChannelLayout(AudioChannelLayoutTag layoutTag) : layoutTag_(layoutTag) {}

  AudioChannelLayoutTag layoutTag_;
};

}  // namespace platform
