#include "Fluvio/Sources/Util/AudioRingBuffer.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

#include "Fluvio/Sources/Util/FluvioLogger.hpp"
#include "Fluvio/Sources/Util/SampleTime.hpp"

namespace fluvio {

namespace {

using platform::AudioStreamBasicDescription;

constexpr auto kRenderFailed = platform::OSStatus{-1};

bool hasFlag(const AudioStreamBasicDescription& description, platform::AudioFormatFlags flag) {
  return (description.mFormatFlags & flag) != 0;
}

// The same sample layout; only the byte order may differ, and only for
// 16-bit samples, which are swapped on the way in.
bool isStorable(const AudioStreamBasicDescription& source, const AudioStreamBasicDescription& ring) {
  for (auto flag : {platform::kAudioFormatFlagIsFloat, platform::kAudioFormatFlagIsSignedInteger,
                    platform::kAudioFormatFlagIsNonInterleaved}) {
    if (hasFlag(source, flag) != hasFlag(ring, flag)) return false;
  }
  const bool sameOrder = hasFlag(source, platform::kAudioFormatFlagIsBigEndian) ==
                         hasFlag(ring, platform::kAudioFormatFlagIsBigEndian);
  return source.mFormatID == platform::kAudioFormatLinearPCM && source.mChannelsPerFrame == ring.mChannelsPerFrame &&
         source.mBytesPerFrame == ring.mBytesPerFrame && source.mBitsPerChannel == ring.mBitsPerChannel &&
         (sameOrder || source.mBitsPerChannel == 16);
}

void swapBytePairs(std::span<std::uint8_t> bytes) {
  for (std::size_t index = 0; index + 1 < bytes.size(); index += 2) std::swap(bytes[index], bytes[index + 1]);
}

}  // namespace

std::shared_ptr<AudioRingBuffer> AudioRingBuffer::make(std::shared_ptr<platform::AVAudioFormat> inputFormat,
                                                       std::uint32_t bufferCounts) {
  if (!inputFormat || bufferCounts == 0 ||
      bufferCounts > std::numeric_limits<platform::AVAudioFrameCount>::max() / framesPerBuffer) {
    return nullptr;
  }
  if (inputFormat->streamDescription().mBytesPerFrame == 0) return nullptr;
  auto outputBuffer = platform::AVAudioPCMBuffer::make(inputFormat, bufferCounts * framesPerBuffer);
  if (!outputBuffer) return nullptr;
  outputBuffer->setFrameLength(outputBuffer->frameCapacity());
  return std::shared_ptr<AudioRingBuffer>(new AudioRingBuffer(std::move(inputFormat), std::move(outputBuffer)));
}

AudioRingBuffer::AudioRingBuffer(std::shared_ptr<platform::AVAudioFormat> inputFormat,
                                 std::shared_ptr<platform::AVAudioPCMBuffer> outputBuffer)
    : inputFormat_(std::move(inputFormat)),
      outputBuffer_(std::move(outputBuffer)),
      bytesPerFrame_(inputFormat_->streamDescription().mBytesPerFrame),
      runBuffers_(outputBuffer_->audioBufferList()->mNumberBuffers),
      capacity_(outputBuffer_->frameLength()) {}

std::byte* AudioRingBuffer::ringFrame(std::size_t bufferIndex, std::int64_t frame) const noexcept {
  auto* start = static_cast<std::byte*>(outputBuffer_->audioBufferList()->mBuffers[bufferIndex].mData);
  return start + static_cast<std::size_t>(frame) * bytesPerFrame_;
}

template <class CopyRun>
void AudioRingBuffer::write(std::int64_t frames, CopyRun&& copyRun) {
  if (frames <= 0) return;
  std::int64_t sourceFrame = 0;
  if (frames >= capacity_) {
    // Only the newest frames survive: they fill the ring from its start.
    sourceFrame = frames - capacity_;
    tail_ = 0;
    counts_ = 0;
  }
  std::int64_t head = (tail_ + counts_) % capacity_;
  for (auto remaining = frames - sourceFrame; remaining > 0;) {
    const auto run = std::min(remaining, capacity_ - head);
    copyRun(head, sourceFrame, run);
    head = (head + run) % capacity_;
    sourceFrame += run;
    remaining -= run;
    counts_ += run;
  }
  if (counts_ > capacity_) {
    tail_ = (tail_ + counts_ - capacity_) % capacity_;
    counts_ = capacity_;
  }
}

void AudioRingBuffer::advanceTo(platform::AVAudioFramePosition sampleTime) {
  if (!sampleTime_) sampleTime_ = sampleTime;
  // An earlier or overlapping time inserts nothing and drops nothing.
  if (sampleTime <= *sampleTime_) return;
  std::int64_t gap;
  if (__builtin_sub_overflow(sampleTime, *sampleTime_, &gap)) gap = std::numeric_limits<std::int64_t>::max();
  sampleTime_ = sampleTime;
  const auto buffers = outputBuffer_->audioBufferList()->buffers();
  write(gap, [&](std::int64_t ringStart, std::int64_t, std::int64_t frames) {
    for (std::size_t index = 0; index < buffers.size(); ++index) {
      std::memset(ringFrame(index, ringStart), 0, static_cast<std::size_t>(frames) * bytesPerFrame_);
    }
  });
}

void AudioRingBuffer::append(const platform::AVAudioPCMBuffer& buffer, const platform::AVAudioTime& when) {
  if (!(buffer.format()->streamDescription() == inputFormat_->streamDescription())) {
    TP_WARN(logger(), "refused a buffer of another format than the ring's");
    return;
  }
  advanceTo(when.isSampleTimeValid() ? when.sampleTime() : sampleTime());
  const auto sources = buffer.audioBufferList()->buffers();
  write(buffer.frameLength(), [&](std::int64_t ringStart, std::int64_t sourceStart, std::int64_t frames) {
    for (std::size_t index = 0; index < sources.size(); ++index) {
      const auto* source = static_cast<const std::byte*>(sources[index].mData);
      std::memcpy(ringFrame(index, ringStart), source + static_cast<std::size_t>(sourceStart) * bytesPerFrame_,
                  static_cast<std::size_t>(frames) * bytesPerFrame_);
    }
  });
  *sampleTime_ += buffer.frameLength();
}

void AudioRingBuffer::append(const platform::CMSampleBuffer& sampleBuffer) {
  if (!sampleBuffer.dataIsReady()) return;
  const auto& formatDescription = sampleBuffer.formatDescription();
  const auto* source = formatDescription ? formatDescription->audioStreamBasicDescription() : nullptr;
  const auto& ring = inputFormat_->streamDescription();
  if (!source || !isStorable(*source, ring)) {
    TP_WARN(logger(), "refused a sample buffer of another format than the ring's");
    return;
  }
  const auto sampleTime = makeSampleTime(sampleBuffer.presentationTimeStamp(), inputFormat_->sampleRate());
  if (!sampleTime) return;

  advanceTo(*sampleTime);
  const bool swapsBytes =
      hasFlag(*source, platform::kAudioFormatFlagIsBigEndian) != hasFlag(ring, platform::kAudioFormatFlagIsBigEndian);
  const auto frames = static_cast<std::int64_t>(sampleBuffer.numSamples());
  write(frames, [&](std::int64_t ringStart, std::int64_t sourceStart, std::int64_t run) {
    const auto runBytes = static_cast<std::size_t>(run) * bytesPerFrame_;
    for (std::size_t index = 0; index < runBuffers_.size(); ++index) {
      runBuffers_[index] = {reinterpret_cast<std::uint8_t*>(ringFrame(index, ringStart)), runBytes};
    }
    const auto status = sampleBuffer.copyPCMDataIntoAudioBuffers(static_cast<std::size_t>(sourceStart),
                                                                 static_cast<std::size_t>(run), runBuffers_);
    for (auto bytes : runBuffers_) {
      // A failed copy leaves silence rather than older frames.
      if (status != platform::noErr) {
        std::fill(bytes.begin(), bytes.end(), 0);
      } else if (swapsBytes) {
        swapBytePairs(bytes);
      }
    }
  });
  *sampleTime_ += frames;
}

platform::OSStatus AudioRingBuffer::render(platform::AVAudioFrameCount frameCount,
                                           platform::AudioBufferList* destination, platform::AVAudioFrameCount offset) {
  if (!destination || destination->mNumberBuffers != runBuffers_.size()) return kRenderFailed;
  const auto buffers = destination->buffers();
  const auto neededBytes = (std::uint64_t{offset} + frameCount) * bytesPerFrame_;
  for (const auto& buffer : buffers) {
    if (!buffer.mData || buffer.mDataByteSize < neededBytes) return kRenderFailed;
  }
  if (counts_ == 0) return kRenderFailed;

  auto destinationFrame = [&](std::size_t index, std::int64_t frame) {
    return static_cast<std::byte*>(buffers[index].mData) + static_cast<std::size_t>(frame) * bytesPerFrame_;
  };
  const auto delivered = std::min<std::int64_t>(frameCount, counts_);
  for (std::int64_t done = 0; done < delivered;) {
    const auto run = std::min(delivered - done, capacity_ - tail_);
    for (std::size_t index = 0; index < buffers.size(); ++index) {
      std::memcpy(destinationFrame(index, offset + done), ringFrame(index, tail_),
                  static_cast<std::size_t>(run) * bytesPerFrame_);
    }
    tail_ = (tail_ + run) % capacity_;
    counts_ -= run;
    done += run;
  }
  const auto missing = frameCount - delivered;
  for (std::size_t index = 0; index < buffers.size() && missing > 0; ++index) {
    std::memset(destinationFrame(index, offset + delivered), 0, static_cast<std::size_t>(missing) * bytesPerFrame_);
  }
  return missing == 0 ? platform::noErr : kRenderFailed;
}

void AudioRingBuffer::reset() noexcept {
  tail_ = 0;
  counts_ = 0;
  sampleTime_.reset();
}

}  // namespace fluvio
