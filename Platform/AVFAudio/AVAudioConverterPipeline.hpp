#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "Platform/AVFAudio/AVAudioCompressedBuffer.hpp"
#include "Platform/AVFAudio/AVAudioConverter.hpp"
#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/AVFAudio/AudioPacketDecoder.hpp"
#include "Platform/AVFAudio/AudioPacketEncoder.hpp"
#include "Platform/AVFAudio/AudioResampler.hpp"

namespace platform {

// The converter's state: PCM flows through the resampler, which feeds the
// encoder when encoding and is fed by the decoder when decoding.
class AVAudioConverter::Pipeline {
 public:
  static std::unique_ptr<Pipeline> make(std::shared_ptr<AVAudioFormat> fromFormat,
                                        std::shared_ptr<AVAudioFormat> toFormat, std::optional<std::int64_t> bitRate);

  const std::shared_ptr<AVAudioFormat>& inputFormat() const noexcept { return inputFormat_; }
  const std::shared_ptr<AVAudioFormat>& outputFormat() const noexcept { return outputFormat_; }
  const std::vector<std::uint8_t>& magicCookie() const noexcept;

  std::int64_t bitRate() const noexcept { return bitRate_; }
  void setBitRate(std::int64_t bitRate);
  std::optional<std::vector<std::int64_t>> applicableEncodeBitRates() const;

  bool downmix() const noexcept { return downmix_; }
  void setDownmix(bool downmix);
  const std::vector<std::int64_t>& channelMap() const noexcept { return channelMap_; }
  void setChannelMap(std::vector<std::int64_t> channelMap);

  void reset();
  // Throws Error.
  AVAudioConverterOutputStatus convert(AVAudioBuffer& outputBuffer, const AVAudioConverterInputBlock& inputBlock);

 private:
  enum class Direction { pcm, encoding, decoding };
  enum class Pulled { data, noData, ended };

  Pipeline(Direction direction, std::shared_ptr<AVAudioFormat> inputFormat, std::shared_ptr<AVAudioFormat> outputFormat,
           AudioSampleLayout outputLayout);

  AudioChannelMatrix matrixFor(int inputChannels) const;
  void remix();

  AVAudioConverterOutputStatus fillFrames(AVAudioPCMBuffer& output, const AVAudioConverterInputBlock& inputBlock);
  AVAudioConverterOutputStatus fillPackets(AVAudioCompressedBuffer& output,
                                           const AVAudioConverterInputBlock& inputBlock);
  Pulled pull(AVAudioPacketCount count, const AVAudioConverterInputBlock& inputBlock);
  Pulled resample(const AVAudioBuffer& input);
  Pulled decode(const AVAudioBuffer& input);
  int resampleDecoded(const AVFrame& frame);
  // Finishes every stage once the input has ended.
  void drain();

  int availableFrames() const noexcept { return resampler_ ? resampler_->available() : 0; }
  AVAudioFrameCount moveFrames(AVAudioPCMBuffer& output, AVAudioFrameCount offset, bool wholeBuffer);
  void movePackets(AVAudioCompressedBuffer& output);
  // Encodes the whole packets' worth of queued frames; true when packets came out.
  bool encodeQueuedFrames();

  Direction direction_;
  std::shared_ptr<AVAudioFormat> inputFormat_;
  std::shared_ptr<AVAudioFormat> outputFormat_;
  // Where the resampler converts to: the output PCM, or the encoder's input.
  AudioSampleLayout outputLayout_;
  std::unique_ptr<AudioResampler> resampler_;
  std::unique_ptr<AudioPacketEncoder> encoder_;
  std::unique_ptr<AudioPacketDecoder> decoder_;

  std::int64_t bitRate_ = 0;
  bool downmix_ = false;
  std::vector<std::int64_t> channelMap_;
  bool channelMapSet_ = false;

  bool inputEnded_ = false;
  bool drained_ = false;
};

}  // namespace platform
