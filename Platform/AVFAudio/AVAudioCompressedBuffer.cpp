#include "Platform/AVFAudio/AVAudioCompressedBuffer.hpp"

#include <algorithm>
#include <limits>
#include <new>

namespace platform {

std::unique_ptr<AVAudioCompressedBuffer> AVAudioCompressedBuffer::makeUnique(std::shared_ptr<AVAudioFormat> format,
                                                                             AVAudioPacketCount packetCapacity,
                                                                             std::size_t maximumPacketSize) {
  if (!format || format->streamDescription().mFormatID == kAudioFormatLinearPCM || maximumPacketSize == 0 ||
      maximumPacketSize > std::numeric_limits<std::uint32_t>::max() / std::max<AVAudioPacketCount>(packetCapacity, 1)) {
    return nullptr;
  }
  const auto byteCapacity = static_cast<std::uint32_t>(packetCapacity * maximumPacketSize);
  AudioStorage storage = makeAudioStorage(byteCapacity);
  if (!storage) {
    return nullptr;
  }
  try {
    std::vector<AudioBuffer> buffers{{format->channelCount(), 0, storage.get()}};
    const bool describesPackets = format->streamDescription().mBytesPerPacket == 0;
    return std::unique_ptr<AVAudioCompressedBuffer>(new AVAudioCompressedBuffer(
        std::move(format), std::move(storage), std::move(buffers), packetCapacity, maximumPacketSize,
        describesPackets));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::shared_ptr<AVAudioCompressedBuffer> AVAudioCompressedBuffer::make(std::shared_ptr<AVAudioFormat> format,
                                                                       AVAudioPacketCount packetCapacity,
                                                                       std::size_t maximumPacketSize) {
  try {
    return makeUnique(std::move(format), packetCapacity, maximumPacketSize);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::shared_ptr<AVAudioCompressedBuffer> AVAudioCompressedBuffer::make(std::shared_ptr<AVAudioFormat> format,
                                                                       AVAudioPacketCount packetCapacity) {
  if (!format) {
    return nullptr;
  }
  const std::size_t packetSize = format->streamDescription().mBytesPerPacket;
  return make(std::move(format), packetCapacity, packetSize);
}

AVAudioCompressedBuffer::AVAudioCompressedBuffer(std::shared_ptr<AVAudioFormat> format, AudioStorage storage,
                                                 std::vector<AudioBuffer> buffers, AVAudioPacketCount packetCapacity,
                                                 std::size_t maximumPacketSize, bool describesPackets)
    : AVAudioBuffer(std::move(format), std::move(storage), std::move(buffers)),
      packetCapacity_(packetCapacity),
      maximumPacketSize_(maximumPacketSize),
      byteCapacity_(static_cast<std::uint32_t>(packetCapacity * maximumPacketSize)),
      packetDescriptions_(describesPackets ? packetCapacity : 0) {}

void AVAudioCompressedBuffer::setPacketCount(AVAudioPacketCount packetCount) noexcept {
  packetCount_ = std::min(packetCount, packetCapacity_);
}

void AVAudioCompressedBuffer::setByteLength(std::uint32_t byteLength) noexcept {
  buffers()[0].mDataByteSize = std::min(byteLength, byteCapacity_);
}

}  // namespace platform
