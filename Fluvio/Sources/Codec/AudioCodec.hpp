#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "Fluvio/Sources/Codec/AudioCodecSettings.hpp"
#include "Fluvio/Sources/Util/AsyncStreamedFlow.hpp"
#include "Fluvio/Sources/Util/AudioRingBuffer.hpp"
#include "Fluvio/Sources/Util/AudioTime.hpp"
#include "Fluvio/Sources/Util/Runner.hpp"
#include "Platform/AVFAudio/AVAudioBuffer.hpp"
#include "Platform/AVFAudio/AVAudioCompressedBuffer.hpp"
#include "Platform/AVFAudio/AVAudioConverter.hpp"
#include "Platform/AVFAudio/AVAudioFormat.hpp"
#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/AVFAudio/AVAudioTime.hpp"
#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/Concurrency/BlockPool.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/CoreMedia/SharedObjectRecycler.hpp"

namespace fluvio {

// Converts audio through one platform converter: PCM to AAC or Opus when
// publishing, AAC or Opus to PCM (settings format `pcm`) when playing. PCM
// input waits in a ring buffer until the converter has a packet's worth.
// Results go out as (buffer, time) pairs. No lock and no queue of its own: the
// owner calls it from one context at a time.
class AudioCodec final : public Runner {
 public:
  using Output = std::pair<std::shared_ptr<platform::AVAudioBuffer>, std::shared_ptr<platform::AVAudioTime>>;

  // Output waits for its consumer as `outputPolicy` says.
  static std::shared_ptr<AudioCodec> make(platform::BufferingPolicy outputPolicy = platform::BufferingPolicy::unbounded()) {
    return std::shared_ptr<AudioCodec>(new AudioCodec(outputPolicy));
  }

  const AudioCodecSettings& settings() const noexcept { return settings_; }
  // Bit rate and downmix reach the live converter; a new format, channel map
  // or sample rate drops it until the next buffer arrives.
  void setSettings(AudioCodecSettings settings);

  const std::shared_ptr<platform::AVAudioFormat>& inputFormat() const noexcept { return inputFormat_; }
  bool isRunning() const override { return isRunning_; }

  // A new sequence on every read; the one handed out before ends.
  platform::AsyncStream<Output> outputStream() { return outputStream_.wrappedValue(); }
  // Output buffers the output policy dropped, over every sequence handed out.
  std::uint64_t droppedOutputCount() const noexcept { return outputStream_.droppedCount(); }

  // ADTS-framed AAC to decode; only while running with format `pcm`.
  void append(const platform::CMSampleBuffer& sampleBuffer);
  // PCM to encode, or one compressed packet to decode; decoded audio carries
  // the packet's time.
  void append(const std::shared_ptr<platform::AVAudioBuffer>& audioBuffer,
              const std::shared_ptr<platform::AVAudioTime>& when);

  void startRunning() override;
  void stopRunning() override;

 private:
  explicit AudioCodec(platform::BufferingPolicy outputPolicy) : outputStream_(outputPolicy) {}

  void setInputFormat(std::shared_ptr<platform::AVAudioFormat> inputFormat);
  std::shared_ptr<platform::AVAudioConverter> makeAudioConverter();
  void anchorAudioTime(const platform::AVAudioTime& when);
  // What one conversion feeds its converter.
  struct Feed {
    const std::shared_ptr<platform::AVAudioBuffer>& appended;
    bool isCompressed;
    bool ending;
    // The appended packet has gone to the decoder in this round.
    bool packetFed = false;
  };
  // The converter's input block: the next input of `feed`, or null.
  std::shared_ptr<platform::AVAudioBuffer> nextInput(Feed& feed, platform::AVAudioPacketCount packets,
                                                     platform::AVAudioConverterInputStatus& status);
  // Runs the converter until it wants more input; `ending` ends the PCM
  // input with what the ring buffer holds and drains the encoder.
  void convert(const std::shared_ptr<platform::AVAudioBuffer>& appended,
               const std::shared_ptr<platform::AVAudioTime>& when, bool ending = false);
  // `frames` frames from the ring buffer in the current input buffer, grown
  // to what the converter asks for; null while the ring holds fewer.
  std::shared_ptr<platform::AVAudioBuffer> renderInput(platform::AVAudioFrameCount frames);
  std::shared_ptr<platform::AVAudioBuffer> nextOutputBuffer();
  // The time of an output buffer: the packet's own when decoding, else the
  // output clock advanced past the buffer's frames.
  std::shared_ptr<platform::AVAudioTime> stamp(const platform::AVAudioBuffer& output,
                                               const std::shared_ptr<platform::AVAudioTime>& when);
  // `payload` as the one packet of the reused packet buffer.
  const std::shared_ptr<platform::AVAudioCompressedBuffer>& makePacket(std::span<const std::uint8_t> payload);

  AudioCodecSettings settings_;
  AsyncStreamedFlow<Output> outputStream_;
  bool isRunning_ = false;
  std::shared_ptr<platform::AVAudioFormat> inputFormat_;
  std::shared_ptr<AudioTime> audioTime_ = AudioTime::make();
  std::shared_ptr<AudioRingBuffer> ringBuffer_;
  std::vector<std::shared_ptr<platform::AVAudioPCMBuffer>> inputBuffers_;
  // Its blocks come and go with the buffers that pass through.
  std::deque<std::shared_ptr<platform::AVAudioBuffer>,
             platform::detail::BlockAllocator<std::shared_ptr<platform::AVAudioBuffer>>>
      outputBuffers_;
  // Encoded packets go out one buffer each; a buffer comes back here once
  // the stream has sent it. One per converter, as buffers carry its format.
  std::unique_ptr<platform::SharedObjectRecycler<platform::AVAudioCompressedBuffer>> packetBuffers_;
  std::shared_ptr<platform::AVAudioConverter> audioConverter_;
  std::size_t inputBuffersCursor_ = 0;
  // Reused for the packets of ADTS sample buffers.
  std::shared_ptr<platform::AVAudioCompressedBuffer> packetBuffer_;
};

}  // namespace fluvio
