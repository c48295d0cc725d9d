#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"

#include <algorithm>
#include <limits>

namespace platform {
namespace {

// Planes start on 16-byte boundaries so that vector code can read them.
constexpr std::size_t planeAlignment = 16;

}  // namespace

std::shared_ptr<AVAudioPCMBuffer> AVAudioPCMBuffer::make(std::shared_ptr<AVAudioFormat> pcmFormat,
                                                         AVAudioFrameCount frameCapacity) {
  return makeUnique(std::move(pcmFormat), frameCapacity);
}

std::unique_ptr<AVAudioPCMBuffer> AVAudioPCMBuffer::makeUnique(std::shared_ptr<AVAudioFormat> pcmFormat,
                                                               AVAudioFrameCount frameCapacity) {
  if (!pcmFormat || pcmFormat->streamDescription().mFormatID != kAudioFormatLinearPCM) {
    return nullptr;
  }
  const AudioStreamBasicDescription& description = pcmFormat->streamDescription();
  const std::uint64_t planeBytes = std::uint64_t{frameCapacity} * description.mBytesPerFrame;
  if (planeBytes > std::numeric_limits<std::uint32_t>::max()) {
    return nullptr;
  }
  const bool interleaved = pcmFormat->isInterleaved();
  const std::size_t planeCount = interleaved ? 1 : description.mChannelsPerFrame;
  const std::size_t planeStride = (planeBytes + planeAlignment - 1) / planeAlignment * planeAlignment;
  if (planeStride != 0 && planeCount > std::numeric_limits<std::size_t>::max() / planeStride) {
    return nullptr;
  }
  AudioStorage storage = makeAudioStorage(planeCount * planeStride);
  if (!storage) {
    return nullptr;
  }
  std::vector<AudioBuffer> buffers(planeCount);
  for (std::size_t plane = 0; plane < planeCount; ++plane) {
    buffers[plane].mNumberChannels = interleaved ? description.mChannelsPerFrame : 1;
    buffers[plane].mData = storage.get() + plane * planeStride;
  }
  return std::unique_ptr<AVAudioPCMBuffer>(
      new AVAudioPCMBuffer(std::move(pcmFormat), std::move(storage), std::move(buffers), frameCapacity));
}

AVAudioPCMBuffer::AVAudioPCMBuffer(std::shared_ptr<AVAudioFormat> format, AudioStorage storage,
                                   std::vector<AudioBuffer> buffers, AVAudioFrameCount frameCapacity)
    : AVAudioBuffer(std::move(format), std::move(storage), std::move(buffers)),
      frameCapacity_(frameCapacity),
      stride_(this->format()->isInterleaved() ? this->format()->channelCount() : 1) {
  switch (this->format()->commonFormat()) {
    case AVAudioCommonFormat::pcmFormatFloat32:
      floatChannels_ = channelPointers<float>();
      break;
    case AVAudioCommonFormat::pcmFormatInt16:
      int16Channels_ = channelPointers<std::int16_t>();
      break;
    case AVAudioCommonFormat::pcmFormatInt32:
      int32Channels_ = channelPointers<std::int32_t>();
      break;
    case AVAudioCommonFormat::pcmFormatFloat64:
    case AVAudioCommonFormat::otherFormat:
      break;
  }
}

template <class Sample>
std::vector<Sample*> AVAudioPCMBuffer::channelPointers() const {
  const AVAudioChannelCount channels = format()->channelCount();
  std::vector<Sample*> pointers(channels);
  for (AVAudioChannelCount channel = 0; channel < channels; ++channel) {
    pointers[channel] = format()->isInterleaved() ? static_cast<Sample*>(buffers()[0].mData) + channel
                                                  : static_cast<Sample*>(buffers()[channel].mData);
  }
  return pointers;
}

void AVAudioPCMBuffer::setFrameLength(AVAudioFrameCount frameLength) noexcept {
  frameLength_ = std::min(frameLength, frameCapacity_);
  for (AudioBuffer& buffer : buffers()) {
    buffer.mDataByteSize = frameLength_ * format()->streamDescription().mBytesPerFrame;
  }
}

}  // namespace platform
