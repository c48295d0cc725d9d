#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "Platform/AVFAudio/AVAudioBuffer.hpp"
#include "Platform/AVFAudio/AVAudioTypes.hpp"

namespace platform {

// Linear PCM frames, interleaved in one buffer or one buffer per channel.
// Storage is zeroed at construction and never reallocated.
class AVAudioPCMBuffer final : public AVAudioBuffer {
 public:
  // Nothing for a format that is not linear PCM, or a capacity whose bytes do
  // not fit one buffer-list entry.
  static std::shared_ptr<AVAudioPCMBuffer> make(std::shared_ptr<AVAudioFormat> pcmFormat,
                                                AVAudioFrameCount frameCapacity);
  // As make(), owned alone: for an owner that hands the buffer out again
  // once every holder has let it go (SharedObjectRecycler).
  static std::unique_ptr<AVAudioPCMBuffer> makeUnique(std::shared_ptr<AVAudioFormat> pcmFormat,
                                                      AVAudioFrameCount frameCapacity);

  AVAudioFrameCount frameCapacity() const noexcept { return frameCapacity_; }
  AVAudioFrameCount frameLength() const noexcept { return frameLength_; }
  // Clamped to the capacity; the buffer list's byte sizes follow.
  void setFrameLength(AVAudioFrameCount frameLength) noexcept;

  // One pointer per channel when the format is of that common format, else
  // null. Interleaved: every pointer starts at its channel's first sample and
  // a channel's samples lie `stride()` apart; planar: stride 1.
  float* const* floatChannelData() const noexcept { return channelsOrNull(floatChannels_); }
  std::int16_t* const* int16ChannelData() const noexcept { return channelsOrNull(int16Channels_); }
  std::int32_t* const* int32ChannelData() const noexcept { return channelsOrNull(int32Channels_); }
  std::size_t stride() const noexcept { return stride_; }

 private:
  AVAudioPCMBuffer(std::shared_ptr<AVAudioFormat> format, AudioStorage storage,
                   std::vector<AudioBuffer> buffers, AVAudioFrameCount frameCapacity);

  template <class Sample>
  static Sample* const* channelsOrNull(const std::vector<Sample*>& channels) noexcept {
    return channels.empty() ? nullptr : channels.data();
  }
  template <class Sample>
  std::vector<Sample*> channelPointers() const;

  AVAudioFrameCount frameCapacity_;
  AVAudioFrameCount frameLength_ = 0;
  std::size_t stride_;
  std::vector<float*> floatChannels_;
  std::vector<std::int16_t*> int16Channels_;
  std::vector<std::int32_t*> int32Channels_;
};

}  // namespace platform
