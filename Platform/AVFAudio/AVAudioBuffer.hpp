#pragma once

#include <memory>
#include <span>
#include <vector>

#include "Platform/AVFAudio/AVAudioFormat.hpp"
#include "Platform/AVFAudio/AudioBufferList.hpp"
#include "Platform/AVFAudio/AudioStorage.hpp"

namespace platform {

// Audio of one format in storage the buffer owns, reachable through its buffer
// list. PCM and compressed buffers derive from it; callers tell them apart
// with std::dynamic_pointer_cast.
class AVAudioBuffer {
 public:
  virtual ~AVAudioBuffer() = default;

  AVAudioBuffer(const AVAudioBuffer&) = delete;
  AVAudioBuffer& operator=(const AVAudioBuffer&) = delete;

  const std::shared_ptr<AVAudioFormat>& format() const noexcept { return format_; }
  // The entries' byte sizes follow the buffer's valid length; their data
  // pointers are the buffer's own and must not be repointed.
  const AudioBufferList* audioBufferList() const noexcept { return &list_; }
  AudioBufferList* mutableAudioBufferList() noexcept { return &list_; }

 protected:
  // `buffers` point into `storage`.
  AVAudioBuffer(std::shared_ptr<AVAudioFormat> format, AudioStorage storage, std::vector<AudioBuffer> buffers);

  std::span<AudioBuffer> buffers() noexcept { return buffers_; }
  std::span<const AudioBuffer> buffers() const noexcept { return buffers_; }

 private:
  std::shared_ptr<AVAudioFormat> format_;
  AudioStorage storage_;
  std::vector<AudioBuffer> buffers_;
  AudioBufferList list_;
};

}  // namespace platform
