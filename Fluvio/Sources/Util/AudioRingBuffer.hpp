#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "Platform/AVFAudio/AVAudioFormat.hpp"
#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/AVFAudio/AVAudioTime.hpp"
#include "Platform/AVFAudio/AudioBufferList.hpp"
#include "Platform/AVFAudio/AVAudioTypes.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/CoreMedia/OSStatus.hpp"

namespace fluvio {

// Linear-PCM frames of one format between a producer that appends buffers of
// any length with their sample times and a consumer that pulls exact frame
// counts. A gap in the producer's sample times is stored as silence where it
// occurs; when more arrives than the ring holds, the newest frames are kept.
// Used from one context at a time; it does not lock.
class AudioRingBuffer {
 public:
  static constexpr platform::AVAudioFrameCount framesPerBuffer = 1024;

  // A ring of `bufferCounts` x 1,024 frames; null when that count overflows
  // 32 bits or the storage cannot be made for the format.
  static std::shared_ptr<AudioRingBuffer> make(std::shared_ptr<platform::AVAudioFormat> inputFormat,
                                               std::uint32_t bufferCounts);

  const std::shared_ptr<platform::AVAudioFormat>& inputFormat() const noexcept { return inputFormat_; }
  platform::AVAudioFrameCount capacity() const noexcept { return static_cast<platform::AVAudioFrameCount>(capacity_); }
  // Frames written and not yet read.
  platform::AVAudioFrameCount counts() const noexcept { return static_cast<platform::AVAudioFrameCount>(counts_); }
  // The sample time of the next frame expected from the producer; 0 before the first.
  platform::AVAudioFramePosition sampleTime() const noexcept { return sampleTime_.value_or(0); }

  // The buffer's first frame has `when`'s sample time (or follows on from the
  // previous buffer when `when` carries none). A buffer of another format is
  // refused.
  void append(const platform::AVAudioPCMBuffer& buffer, const platform::AVAudioTime& when);
  // Stores the PCM of a ready sample buffer of the input format (big-endian
  // 16-bit samples are swapped to native order). A buffer without a valid
  // presentation time is skipped.
  void append(const platform::CMSampleBuffer& sampleBuffer);

  // Reads `frameCount` frames into `destination` from frame `offset` on.
  // Gives 0 when all were delivered; -1 for an absent or too small list, an
  // empty ring, or a short read, whose missing frames are written as silence.
  platform::OSStatus render(platform::AVAudioFrameCount frameCount, platform::AudioBufferList* destination,
                            platform::AVAudioFrameCount offset = 0);

  // Forgets every frame and the expected sample time; the storage is kept as it is.
  void reset() noexcept;

 private:
  AudioRingBuffer(std::shared_ptr<platform::AVAudioFormat> inputFormat,
                  std::shared_ptr<platform::AVAudioPCMBuffer> outputBuffer);

  // Moves the expected sample time to `sampleTime`, storing the silence of a gap.
  void advanceTo(platform::AVAudioFramePosition sampleTime);
  // Calls copyRun(ringFrame, sourceFrame, frames) for each contiguous run of
  // the newest frames that fit and moves the read position past overwritten ones.
  template <class CopyRun>
  void write(std::int64_t frames, CopyRun&& copyRun);
  std::byte* ringFrame(std::size_t bufferIndex, std::int64_t frame) const noexcept;

  std::shared_ptr<platform::AVAudioFormat> inputFormat_;
  std::shared_ptr<platform::AVAudioPCMBuffer> outputBuffer_;  // the ring storage
  std::size_t bytesPerFrame_;                                 // per buffer of the list
  std::vector<std::span<std::uint8_t>> runBuffers_;           // reused for sample-buffer copies
  std::int64_t capacity_;
  std::int64_t tail_ = 0;    // read position
  std::int64_t counts_ = 0;  // unread frames from the read position on
  std::optional<platform::AVAudioFramePosition> sampleTime_;
};

}  // namespace fluvio
