#pragma once

#include <vo-aacenc/voAAC.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "Platform/AVFAudio/AudioPacketEncoder.hpp"

namespace platform {

// AAC LC of one or two channels through the small AAC encoder, which keeps
// the codec library out of a process that only publishes. It takes 16-bit
// interleaved frames of 1,024 and makes raw packets; the magic cookie is the
// two-byte AudioSpecificConfig.
//
// Its stream starts with a packet of pure start-up delay, which is dropped:
// the first packet comes out with the second frame, as with the codec
// library's encoder, and the stream's content lags its input by 576 frames.
class VOAACAudioEncoder final : public AudioPacketEncoder {
 public:
  // AAC, one or two channels, a rate of the AAC table from 8 to 96 kHz, and
  // packets of 1,024 frames (or the codec's own).
  static bool accepts(const Configuration& configuration) noexcept;
  // Null when the encoder refuses the configuration.
  static std::unique_ptr<VOAACAudioEncoder> make(const Configuration& configuration);
  ~VOAACAudioEncoder() override;

  VOAACAudioEncoder(const VOAACAudioEncoder&) = delete;
  VOAACAudioEncoder& operator=(const VOAACAudioEncoder&) = delete;

  AVSampleFormat sampleFormat() const noexcept override { return AV_SAMPLE_FMT_S16; }
  int frameSize() const noexcept override { return framesPerPacket; }

  int encode(AudioResampler& source, int frames) override;
  int flush() override;
  int setBitRate(std::int64_t bitRate) override;
  int reopen() override;

 private:
  static constexpr int framesPerPacket = 1024;

  explicit VOAACAudioEncoder(const Configuration& configuration);

  int open();
  void close() noexcept;
  int applyConfiguration();
  // Encodes the frame in `pcm_` and queues its packet.
  int encodeFrame();

  Configuration configuration_;
  VO_AUDIO_CODECAPI api_{};
  VO_HANDLE handle_ = nullptr;
  std::vector<std::int16_t> pcm_;
  std::vector<std::uint8_t> output_;
  // The next packet is the stream's start-up delay.
  bool startingUp_ = true;
  std::int64_t nextPresentationTime_ = 0;
  // Nothing encoded since the encoder was opened.
  bool fresh_ = true;
  // Input frames in the last frame encoded.
  int lastFrameLength_ = 0;
  bool flushed_ = false;
};

}  // namespace platform
