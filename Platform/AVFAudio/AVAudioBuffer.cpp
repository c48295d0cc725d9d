#include "Platform/AVFAudio/AVAudioBuffer.hpp"

namespace platform {

AVAudioBuffer::AVAudioBuffer(std::shared_ptr<AVAudioFormat> format, AudioStorage storage,
                             std::vector<AudioBuffer> buffers)
    : format_(std::move(format)),
      storage_(std::move(storage)),
      buffers_(std::move(buffers)),
      list_{static_cast<std::uint32_t>(buffers_.size()), buffers_.data()} {}

}  // namespace platform
