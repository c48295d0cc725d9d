#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "Platform/AVFAudio/AVAudioBuffer.hpp"
#include "Platform/AVFAudio/AVAudioTypes.hpp"
#include "Platform/AVFAudio/AudioStreamPacketDescription.hpp"

namespace platform {

// Packets of a compressed stream in one block of byteCapacity bytes, with one
// packet description per packet when the format's packets vary in size.
class AVAudioCompressedBuffer final : public AVAudioBuffer {
 public:
  // Nothing for a linear PCM format, a zero maximum packet size, or a byte
  // capacity beyond 32 bits.
  static std::shared_ptr<AVAudioCompressedBuffer> make(std::shared_ptr<AVAudioFormat> format,
                                                       AVAudioPacketCount packetCapacity,
                                                       std::size_t maximumPacketSize);
  // As make(), owned alone: for an owner that hands the buffer out again
  // once every holder has let it go (SharedObjectRecycler).
  static std::unique_ptr<AVAudioCompressedBuffer> makeUnique(std::shared_ptr<AVAudioFormat> format,
                                                             AVAudioPacketCount packetCapacity,
                                                             std::size_t maximumPacketSize);
  // For formats whose packets all have the stream description's size.
  static std::shared_ptr<AVAudioCompressedBuffer> make(std::shared_ptr<AVAudioFormat> format,
                                                       AVAudioPacketCount packetCapacity);

  AVAudioPacketCount packetCapacity() const noexcept { return packetCapacity_; }
  AVAudioPacketCount packetCount() const noexcept { return packetCount_; }
  // Clamped to the packet capacity.
  void setPacketCount(AVAudioPacketCount packetCount) noexcept;
  std::size_t maximumPacketSize() const noexcept { return maximumPacketSize_; }

  void* data() noexcept { return buffers()[0].mData; }
  const void* data() const noexcept { return buffers()[0].mData; }
  std::uint32_t byteCapacity() const noexcept { return byteCapacity_; }
  std::uint32_t byteLength() const noexcept { return buffers()[0].mDataByteSize; }
  // Clamped to the byte capacity; the buffer list's byte size follows.
  void setByteLength(std::uint32_t byteLength) noexcept;

  // packetCapacity entries for variable-size packets, else null.
  AudioStreamPacketDescription* packetDescriptions() noexcept {
    return packetDescriptions_.empty() ? nullptr : packetDescriptions_.data();
  }
  const AudioStreamPacketDescription* packetDescriptions() const noexcept {
    return packetDescriptions_.empty() ? nullptr : packetDescriptions_.data();
  }

 private:
  AVAudioCompressedBuffer(std::shared_ptr<AVAudioFormat> format, AudioStorage storage,
                          std::vector<AudioBuffer> buffers, AVAudioPacketCount packetCapacity,
                          std::size_t maximumPacketSize, bool describesPackets);

  AVAudioPacketCount packetCapacity_;
  AVAudioPacketCount packetCount_ = 0;
  std::size_t maximumPacketSize_;
  std::uint32_t byteCapacity_;
  std::vector<AudioStreamPacketDescription> packetDescriptions_;
};

}  // namespace platform
