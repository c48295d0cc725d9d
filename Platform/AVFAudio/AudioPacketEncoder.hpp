#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "Platform/AVFAudio/AudioResampler.hpp"
#include "Platform/Concurrency/BlockPool.hpp"
#include "Platform/CoreMedia/AudioStreamBasicDescription.hpp"

namespace platform {

// A packet comes and goes with every encoded frame: its bytes and the queue's
// blocks come from the block pool.
struct AudioPacket {
  std::vector<std::uint8_t, detail::BlockAllocator<std::uint8_t>> bytes;
  // In frames from the stream's first input frame; negative while the
  // packet carries the codec's start-up delay.
  std::int64_t presentationTime = 0;
};

// An AAC or Opus encoder that takes whole frames of PCM from a resampler's
// queue and queues the packets it makes. Failures are negative codes of the
// codec library's kind (libavErrorString() reads them).
class AudioPacketEncoder {
 public:
  struct Configuration {
    AudioFormatID formatID = 0;
    int sampleRate = 0;
    int channels = 0;
    std::int64_t bitRate = 0;
    // 0: the codec's own packet length.
    int framesPerPacket = 0;
  };

  // AAC of one or two channels at a rate of the AAC table goes to the small
  // AAC encoder; other AAC and all Opus to the codec library, which is then
  // opened. Null when the codec is missing or refuses the configuration.
  static std::unique_ptr<AudioPacketEncoder> make(const Configuration& configuration);
  // Ascending; empty for a format this encoder does not make.
  static std::vector<std::int64_t> applicableBitRates(AudioFormatID formatID, int sampleRate, int channels);

  virtual ~AudioPacketEncoder() = default;

  // What the encoder takes from the resampler.
  virtual AVSampleFormat sampleFormat() const noexcept = 0;
  virtual int frameSize() const noexcept = 0;
  const std::vector<std::uint8_t>& magicCookie() const noexcept { return magicCookie_; }

  // Takes `frames` frames from `source` (a frame short of frameSize() only at
  // the end of a stream) and queues the packets that come out.
  virtual int encode(AudioResampler& source, int frames) = 0;
  // Queues the packets the encoder still holds; afterwards it takes no frames
  // until reopen().
  virtual int flush() = 0;
  using PacketQueue = std::deque<AudioPacket, detail::BlockAllocator<AudioPacket>>;
  PacketQueue& packets() noexcept { return packets_; }

  // Takes effect from the next packet; the stream's packets and timing go on.
  virtual int setBitRate(std::int64_t bitRate) = 0;
  // A fresh stream with the current configuration; queued packets are dropped.
  virtual int reopen() = 0;

 protected:
  std::vector<std::uint8_t> magicCookie_;
  PacketQueue packets_;
};

}  // namespace platform
