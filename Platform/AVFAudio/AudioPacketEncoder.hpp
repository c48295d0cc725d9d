#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "Platform/AVFAudio/AudioResampler.hpp"
#include "Platform/AVFAudio/LibavHandles.hpp"
#include "Platform/CoreMedia/AudioStreamBasicDescription.hpp"

namespace platform {

// An AAC or Opus encoder that takes whole frames of PCM from a resampler's
// queue and queues the packets it makes.
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

  // Null when the codec is missing or refuses the configuration.
  static std::unique_ptr<AudioPacketEncoder> make(const Configuration& configuration);
  // Ascending; empty for a format this encoder does not make.
  static std::vector<std::int64_t> applicableBitRates(AudioFormatID formatID, int sampleRate, int channels);

  AVSampleFormat sampleFormat() const noexcept { return context_->sample_fmt; }
  int frameSize() const noexcept { return context_->frame_size; }
  const std::vector<std::uint8_t>& magicCookie() const noexcept { return magicCookie_; }

  // Takes `frames` frames from `source` (a frame short of frameSize() only at
  // the end of a stream) and queues the packets that come out.
  int encode(AudioResampler& source, int frames);
  // Queues the packets the encoder still holds; afterwards it takes no frames
  // until reopen().
  int flush();
  std::deque<PacketHandle>& packets() noexcept { return packets_; }

  // Takes effect from the next packet; the stream's packets and timing go on.
  int setBitRate(std::int64_t bitRate);
  // A fresh stream with the current configuration; queued packets are dropped.
  int reopen();

 private:
  AudioPacketEncoder(const AVCodec* codec, const Configuration& configuration);

  int open();
  int receivePackets();

  const AVCodec* codec_;
  Configuration configuration_;
  CodecContextHandle context_;
  FrameHandle frame_;
  std::vector<std::uint8_t> magicCookie_;
  std::deque<PacketHandle> packets_;
  // Nothing sent to the encoder since it was opened.
  bool fresh_ = true;
  std::int64_t nextPresentationTime_ = 0;
};

}  // namespace platform
