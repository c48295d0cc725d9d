#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/AVFAudio/AVAudioBuffer.hpp"
#include "Platform/AVFAudio/AVAudioFormat.hpp"
#include "Platform/AVFAudio/AVAudioTypes.hpp"

namespace platform {

enum class AVAudioConverterInputStatus : std::int64_t {
  haveData = 0,
  noDataNow = 1,
  endOfStream = 2,
};

enum class AVAudioConverterOutputStatus : std::int64_t {
  haveData = 0,
  inputRanDry = 1,
  endOfStream = 2,
  error = 3,
};

constexpr std::int64_t rawValue(AVAudioConverterInputStatus status) noexcept {
  return static_cast<std::int64_t>(status);
}
constexpr std::int64_t rawValue(AVAudioConverterOutputStatus status) noexcept {
  return static_cast<std::int64_t>(status);
}

// Asked for input during a conversion: the number of packets wanted (frames
// for PCM input). Returns a buffer of the converter's input format and sets
// `outStatus` to haveData, or returns null with noDataNow or endOfStream.
using AVAudioConverterInputBlock = std::function<std::shared_ptr<AVAudioBuffer>(
    AVAudioPacketCount inNumberOfPackets, AVAudioConverterInputStatus& outStatus)>;

// Converts one audio stream format into another, pulling its input through an
// input block: PCM to PCM (rate, sample format, channel count, interleaving),
// PCM to AAC or Opus (encoding), and AAC or Opus to PCM (decoding).
//
// A conversion fills the output buffer and reports haveData when it is full.
// Encoded packets and decoded packets are whole units: when the input runs
// dry after at least one packet went into the output buffer (or one packet's
// frames came out of the decoder), the call reports haveData with what it
// holds. Otherwise inputRanDry, with an empty output buffer; converted data
// that does not yet fill a buffer stays inside the converter for the next
// call. After the input block reports endOfStream the converter drains what
// it holds (haveData, possibly a short buffer) and then reports endOfStream
// without asking for input again, until reset().
//
// A packet the decoder rejects fails that call with an error; the next packet
// decodes normally.
class AVAudioConverter {
 public:
  class Error : public std::exception {
   public:
    enum class Case {
      // The input block said haveData but gave no buffer, or a buffer of
      // another format or kind.
      invalidInputBuffer,
      // The output buffer is not of the output format, or has no capacity.
      invalidOutputBuffer,
      // An encoded packet is larger than the output buffer's packet size.
      outputBufferTooSmall,
      // The decoder rejected a packet.
      decodingFailed,
      encodingFailed,
      // The resampler failed.
      conversionFailed,
    };

    Error(Case errorCase, std::string detail);

    Case errorCase() const noexcept { return case_; }
    const std::string& detail() const noexcept { return detail_; }
    const char* what() const noexcept override { return message_.c_str(); }

   private:
    Case case_;
    std::string detail_;
    std::string message_;
  };

  // Nothing when the pair is not supported: PCM formats of another common
  // format than float32/float64/int16/int32, compressed formats other than
  // AAC and Opus, compressed to compressed, or rates and channel counts the
  // codec refuses. An encoder starts at `bitRate` (kept within
  // applicableEncodeBitRates()), so one known beforehand opens it only once.
  static std::shared_ptr<AVAudioConverter> make(std::shared_ptr<AVAudioFormat> fromFormat,
                                                std::shared_ptr<AVAudioFormat> toFormat,
                                                std::optional<std::int64_t> bitRate = std::nullopt);
  ~AVAudioConverter();

  AVAudioConverter(const AVAudioConverter&) = delete;
  AVAudioConverter& operator=(const AVAudioConverter&) = delete;

  const std::shared_ptr<AVAudioFormat>& inputFormat() const noexcept;
  // For encoding, the requested format with the encoder's magic cookie in its
  // format description (the AudioSpecificConfig for AAC, the identification
  // header for Opus).
  const std::shared_ptr<AVAudioFormat>& outputFormat() const noexcept;
  // The encoder's magic cookie; empty unless encoding.
  const std::vector<std::uint8_t>& magicCookie() const noexcept;

  // Encoding only; takes effect from the next packet, also mid-stream. Rates
  // outside applicableEncodeBitRates() are refused and the previous one is kept.
  std::int64_t bitRate() const noexcept;
  void setBitRate(std::int64_t bitRate);
  // Ascending; nothing unless encoding.
  std::optional<std::vector<std::int64_t>> applicableEncodeBitRates() const;

  // Mix all input channels down when the output has fewer; when off, the
  // surplus channels are dropped. Ignored once a channel map has been set.
  bool downmix() const noexcept;
  void setDownmix(bool downmix);
  // Output channel i takes input channel map[i]; a negative entry is silent.
  // A map whose length differs from the output channel count or that names
  // a missing input channel is refused. The default maps channel i to i.
  const std::vector<std::int64_t>& channelMap() const noexcept;
  void setChannelMap(std::vector<std::int64_t> channelMap);

  // Drops everything buffered and any end of stream seen; the next
  // conversion starts a fresh stream with the current properties.
  void reset();

  // Fills `outputBuffer` (a PCM buffer for PCM output, a compressed buffer
  // for encoding) from input pulled through `inputBlock`, which is called
  // synchronously during the call. On the error status `*error` (when
  // `error` is not null) says why.
  AVAudioConverterOutputStatus convert(AVAudioBuffer& outputBuffer, std::optional<Error>* error,
                                       const AVAudioConverterInputBlock& inputBlock);

 private:
  class Pipeline;

  explicit AVAudioConverter(std::unique_ptr<Pipeline> pipeline);

  std::unique_ptr<Pipeline> pipeline_;
};

}  // namespace platform
