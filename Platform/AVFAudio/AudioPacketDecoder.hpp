#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "Platform/AVFAudio/LibavHandles.hpp"
#include "Platform/CoreMedia/AudioStreamBasicDescription.hpp"

namespace platform {

// An AAC or Opus decoder fed one packet at a time.
class AudioPacketDecoder {
 public:
  // Gets every decoded frame; returns a negative library code to stop.
  using FrameSink = std::function<int(const AVFrame& frame)>;

  // Null when the codec library or the codec is missing, or the codec
  // refuses the stream. Without a magic
  // cookie the stream is taken as plain (AAC LC, or Opus of one or two
  // channels) at the given rate and channel count.
  static std::unique_ptr<AudioPacketDecoder> make(AudioFormatID formatID, int sampleRate, int channels,
                                                  std::span<const std::uint8_t> magicCookie);

  // Decodes one non-empty packet. A packet the codec rejects gives its
  // negative code and leaves the decoder ready for the next packet.
  int decode(std::span<const std::uint8_t> packet, const FrameSink& sink);
  // End of stream: hands over the frames the decoder still holds.
  int finish(const FrameSink& sink);
  // Forgets the stream so far, including its end.
  void reset() noexcept;

 private:
  AudioPacketDecoder(const LibavCodec& library, CodecContextHandle context, PacketHandle packet, FrameHandle frame);

  int receiveFrames(const FrameSink& sink);

  const LibavCodec& library_;
  CodecContextHandle context_;
  PacketHandle packet_;
  FrameHandle frame_;
};

}  // namespace platform
