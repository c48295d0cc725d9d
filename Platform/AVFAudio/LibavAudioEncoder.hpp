#pragma once

#include <memory>

#include "Platform/AVFAudio/AudioPacketEncoder.hpp"
#include "Platform/AVFAudio/LibavHandles.hpp"

namespace platform {

// The codec library's AAC and Opus encoders: Opus, and AAC beyond two
// channels or at rates the small AAC encoder refuses.
class LibavAudioEncoder final : public AudioPacketEncoder {
 public:
  // Null when the codec library or the codec is missing, or the codec
  // refuses the configuration.
  static std::unique_ptr<LibavAudioEncoder> make(const Configuration& configuration);

  AVSampleFormat sampleFormat() const noexcept override { return context_->sample_fmt; }
  int frameSize() const noexcept override { return context_->frame_size; }

  int encode(AudioResampler& source, int frames) override;
  int flush() override;
  int setBitRate(std::int64_t bitRate) override;
  int reopen() override;

 private:
  LibavAudioEncoder(const LibavCodec& library, const AVCodec* codec, const Configuration& configuration);

  int open();
  int receivePackets();

  const LibavCodec& library_;
  const AVCodec* codec_;
  Configuration configuration_;
  CodecContextHandle context_;
  FrameHandle frame_;
  PacketHandle packet_;
  // Nothing sent to the encoder since it was opened.
  bool fresh_ = true;
  std::int64_t nextPresentationTime_ = 0;
};

}  // namespace platform
