#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <numeric>
#include <span>
#include <vector>

#include "Fluvio/Sources/ISO/AudioFormatExtension.hpp"
#include "Fluvio/Sources/Util/AudioRingBuffer.hpp"

namespace fluvio {
namespace {

using platform::AVAudioCommonFormat;
using platform::AVAudioFormat;
using platform::AVAudioPCMBuffer;
using platform::AVAudioTime;
using Samples = std::vector<std::int16_t>;

constexpr double kRate = 48000;

std::shared_ptr<AVAudioFormat> stereo16() { return AVAudioFormat::make(AVAudioCommonFormat::pcmFormatInt16, kRate, 2, true); }

// Frame i carries first + i on the left and its negation on the right, so
// every frame is recognisable and 0 is silence.
std::shared_ptr<AVAudioPCMBuffer> numberedFrames(int first, std::uint32_t frames) {
  auto buffer = AVAudioPCMBuffer::make(stereo16(), frames);
  buffer->setFrameLength(frames);
  auto* samples = buffer->int16ChannelData()[0];
  for (std::uint32_t frame = 0; frame < frames; ++frame) {
    samples[2 * frame] = static_cast<std::int16_t>(first + static_cast<int>(frame));
    samples[2 * frame + 1] = static_cast<std::int16_t>(-(first + static_cast<int>(frame)));
  }
  return buffer;
}

Samples numbers(int first, int count) {
  Samples expected(static_cast<std::size_t>(count));
  std::iota(expected.begin(), expected.end(), static_cast<std::int16_t>(first));
  return expected;
}

Samples silence(int count) { return Samples(static_cast<std::size_t>(count), 0); }

Samples operator+(Samples lhs, const Samples& rhs) {
  lhs.insert(lhs.end(), rhs.begin(), rhs.end());
  return lhs;
}

void append(AudioRingBuffer& ring, int first, std::uint32_t frames, std::int64_t sampleTime) {
  ring.append(*numberedFrames(first, frames), *AVAudioTime::make(sampleTime, kRate));
}

struct Read {
  platform::OSStatus status;
  Samples left;
};

// Renders `frames` frames and gives the left channel, checking that the right
// one mirrors it.
Read read(AudioRingBuffer& ring, std::uint32_t frames) {
  auto destination = AVAudioPCMBuffer::make(stereo16(), frames);
  destination->setFrameLength(frames);
  const auto status = ring.render(frames, destination->mutableAudioBufferList());
  const auto* samples = destination->int16ChannelData()[0];
  Samples left(frames);
  for (std::uint32_t frame = 0; frame < frames; ++frame) {
    left[frame] = samples[2 * frame];
    EXPECT_EQ(samples[2 * frame + 1], -samples[2 * frame]) << "frame " << frame;
  }
  return {status, left};
}

Samples readAll(AudioRingBuffer& ring) {
  const auto result = read(ring, ring.counts());
  EXPECT_EQ(result.status, platform::noErr);
  return result.left;
}

TEST(AudioRingBufferTests, CountsWhatWasWrittenAndExpectsTheNextSampleTime) {
  auto ring = AudioRingBuffer::make(stereo16(), 16);
  ASSERT_TRUE(ring);
  EXPECT_EQ(ring->capacity(), 16384u);
  EXPECT_EQ(ring->counts(), 0u);
  EXPECT_EQ(read(*ring, 16).status, -1);

  append(*ring, 1, 1024, 48000);
  EXPECT_EQ(ring->counts(), 1024u);
  EXPECT_EQ(ring->sampleTime(), 49024);
  EXPECT_EQ(readAll(*ring), numbers(1, 1024));
  EXPECT_EQ(ring->counts(), 0u);
}

TEST(AudioRingBufferTests, PlaysAGapAsSilenceWhereItOccurs) {
  auto ring = AudioRingBuffer::make(stereo16(), 16);
  append(*ring, 1, 1024, 48000);
  append(*ring, 3001, 1024, 50000);
  EXPECT_EQ(ring->counts(), 3024u);
  EXPECT_EQ(ring->sampleTime(), 51024);

  // The first buffer comes first, not the silence that follows it.
  EXPECT_EQ(read(*ring, 1024).left, numbers(1, 1024));
  EXPECT_EQ(read(*ring, 1000).left, silence(976) + numbers(3001, 24));
  EXPECT_EQ(readAll(*ring), numbers(3025, 1000));
}

TEST(AudioRingBufferTests, GapsAddUp) {
  auto ring = AudioRingBuffer::make(stereo16(), 16);
  append(*ring, 1, 100, 0);
  append(*ring, 201, 100, 200);  // 100 frames of silence
  append(*ring, 501, 100, 500);  // another 200
  EXPECT_EQ(ring->counts(), 600u);
  EXPECT_EQ(readAll(*ring), numbers(1, 100) + silence(100) + numbers(201, 100) + silence(200) + numbers(501, 100));
}

TEST(AudioRingBufferTests, AnEarlierOrOverlappingTimeInsertsAndDropsNothing) {
  auto ring = AudioRingBuffer::make(stereo16(), 16);
  append(*ring, 1, 100, 1000);
  append(*ring, 101, 100, 1050);
  append(*ring, 201, 100, 10);
  ring->append(*numberedFrames(301, 100), *AVAudioTime::make(std::uint64_t{123}));  // no sample time: follows on
  EXPECT_EQ(ring->counts(), 400u);
  EXPECT_EQ(ring->sampleTime(), 1400);
  EXPECT_EQ(readAll(*ring), numbers(1, 400));
}

TEST(AudioRingBufferTests, WritesAndReadsAcrossTheEndOfTheRing) {
  auto ring = AudioRingBuffer::make(stereo16(), 1);  // 1,024 frames
  append(*ring, 1, 1000, 0);
  EXPECT_EQ(read(*ring, 1000).left, numbers(1, 1000));

  append(*ring, 1001, 100, 1000);  // 24 frames at the end, 76 from frame 0
  EXPECT_EQ(ring->counts(), 100u);
  // One render that crosses the end: the wrapped frames follow on directly.
  EXPECT_EQ(read(*ring, 60).left, numbers(1001, 60));
  EXPECT_EQ(readAll(*ring), numbers(1061, 40));
}

TEST(AudioRingBufferTests, KeepsTheNewestFramesWhenMoreArriveThanItHolds) {
  auto ring = AudioRingBuffer::make(stereo16(), 1);
  append(*ring, 1, 800, 0);
  append(*ring, 801, 800, 800);
  EXPECT_EQ(ring->counts(), 1024u);
  EXPECT_EQ(readAll(*ring), numbers(577, 1024));

  append(*ring, 1, 1500, 1600);  // one buffer longer than the ring
  EXPECT_EQ(ring->counts(), 1024u);
  EXPECT_EQ(readAll(*ring), numbers(477, 1024));
}

TEST(AudioRingBufferTests, AnExactCapacityWriteReadsBackWhole) {
  auto ring = AudioRingBuffer::make(stereo16(), 1);
  append(*ring, 1, 10, 0);
  EXPECT_EQ(read(*ring, 10).left, numbers(1, 10));  // the read position is off the ring's start

  append(*ring, 11, 1024, 10);
  EXPECT_EQ(ring->counts(), 1024u);
  EXPECT_EQ(readAll(*ring), numbers(11, 1024));
}

TEST(AudioRingBufferTests, AGapLongerThanTheRingLeavesSilenceBeforeTheNewFrames) {
  auto ring = AudioRingBuffer::make(stereo16(), 1);
  append(*ring, 1, 100, 0);
  append(*ring, 1, 100, 48000 * 3600);  // an hour later
  EXPECT_EQ(ring->counts(), 1024u);
  EXPECT_EQ(readAll(*ring), silence(924) + numbers(1, 100));
}

TEST(AudioRingBufferTests, NeverReadsFramesThatWereNotWrittenSince) {
  auto ring = AudioRingBuffer::make(stereo16(), 1);
  append(*ring, 1, 1024, 0);
  readAll(*ring);
  append(*ring, 2001, 100, 1024);

  const auto shortRead = read(*ring, 300);
  EXPECT_EQ(shortRead.status, -1);
  EXPECT_EQ(shortRead.left, numbers(2001, 100) + silence(200));
  EXPECT_EQ(ring->counts(), 0u);
  EXPECT_EQ(read(*ring, 10).status, -1);
}

TEST(AudioRingBufferTests, RendersAtAnOffsetAndRefusesListsThatCannotHoldTheFrames) {
  auto ring = AudioRingBuffer::make(stereo16(), 1);
  append(*ring, 1, 100, 0);

  EXPECT_EQ(ring->render(10, nullptr), -1);
  auto tooSmall = AVAudioPCMBuffer::make(stereo16(), 50);
  tooSmall->setFrameLength(50);
  EXPECT_EQ(ring->render(40, tooSmall->mutableAudioBufferList(), 20), -1);
  auto planar = AVAudioPCMBuffer::make(AVAudioFormat::make(AVAudioCommonFormat::pcmFormatInt16, kRate, 2, false), 100);
  planar->setFrameLength(100);
  EXPECT_EQ(ring->render(10, planar->mutableAudioBufferList()), -1);
  EXPECT_EQ(ring->counts(), 100u);  // nothing consumed

  auto destination = numberedFrames(-1000, 60);
  ASSERT_EQ(ring->render(40, destination->mutableAudioBufferList(), 20), platform::noErr);
  const auto* samples = destination->int16ChannelData()[0];
  EXPECT_EQ(samples[2 * 19], -981);  // untouched before the offset
  EXPECT_EQ(samples[2 * 20], 1);
  EXPECT_EQ(samples[2 * 59], 40);
}

TEST(AudioRingBufferTests, StoresPlanarAndUnlistedFormatsFrameByFrame) {
  for (auto commonFormat : {AVAudioCommonFormat::pcmFormatFloat32, AVAudioCommonFormat::pcmFormatFloat64}) {
    const auto format = AVAudioFormat::make(commonFormat, kRate, 2, false);
    auto ring = AudioRingBuffer::make(format, 1);
    ASSERT_TRUE(ring);
    const auto sampleBytes = format->streamDescription().mBytesPerFrame;

    auto source = AVAudioPCMBuffer::make(format, 700);
    source->setFrameLength(700);
    const auto channels = source->mutableAudioBufferList()->buffers();
    for (std::size_t channel = 0; channel < channels.size(); ++channel) {
      auto* bytes = static_cast<std::uint8_t*>(channels[channel].mData);
      for (std::uint32_t index = 0; index < channels[channel].mDataByteSize; ++index) {
        bytes[index] = static_cast<std::uint8_t>(index * 7 + channel + 1);
      }
    }
    ring->append(*source, *AVAudioTime::make(0, kRate));
    ring->append(*source, *AVAudioTime::make(700, kRate));  // wraps and overwrites the oldest 376 frames

    auto destination = AVAudioPCMBuffer::make(format, 1024);
    destination->setFrameLength(1024);
    ASSERT_EQ(ring->render(1024, destination->mutableAudioBufferList()), platform::noErr);
    for (std::uint32_t channel = 0; channel < 2; ++channel) {
      const auto* expected = static_cast<const std::uint8_t*>(source->audioBufferList()->mBuffers[channel].mData);
      const auto* actual = static_cast<const std::uint8_t*>(destination->audioBufferList()->mBuffers[channel].mData);
      // The newest 1,024 frames: the last 324 of the first copy, then all of the second.
      EXPECT_EQ(std::memcmp(actual, expected + 376 * sampleBytes, 324 * sampleBytes), 0) << "channel " << channel;
      EXPECT_EQ(std::memcmp(actual + 324 * sampleBytes, expected, 700 * sampleBytes), 0) << "channel " << channel;
    }
  }
}

TEST(AudioRingBufferTests, RefusesBuffersOfAnotherFormat) {
  auto ring = AudioRingBuffer::make(stereo16(), 1);
  auto mono = AVAudioPCMBuffer::make(AVAudioFormat::make(AVAudioCommonFormat::pcmFormatInt16, kRate, 1, true), 100);
  mono->setFrameLength(100);
  ring->append(*mono, *AVAudioTime::make(0, kRate));
  EXPECT_EQ(ring->counts(), 0u);
  EXPECT_EQ(ring->sampleTime(), 0);
}

TEST(AudioRingBufferTests, StartsOverAfterAReset) {
  auto ring = AudioRingBuffer::make(stereo16(), 1);
  append(*ring, 1, 100, 5000);
  ring->reset();
  EXPECT_EQ(ring->counts(), 0u);
  EXPECT_EQ(ring->sampleTime(), 0);
  append(*ring, 301, 10, 9000);  // a fresh start, not a gap
  EXPECT_EQ(readAll(*ring), numbers(301, 10));
}

TEST(AudioRingBufferTests, NeedsARingThatFitsThirtyTwoBits) {
  EXPECT_FALSE(AudioRingBuffer::make(stereo16(), 0));
  EXPECT_FALSE(AudioRingBuffer::make(stereo16(), 4'194'304));  // 2^32 frames
  EXPECT_FALSE(AudioRingBuffer::make(nullptr, 16));
}

// Sample buffers carry interleaved 16-bit stereo in the given byte order.
platform::AudioStreamBasicDescription stereo16Description(bool bigEndian) {
  auto description = stereo16()->streamDescription();
  // Big-endian sources often leave out the packed flag.
  if (bigEndian) description.mFormatFlags = platform::kAudioFormatFlagIsBigEndian | platform::kAudioFormatFlagIsSignedInteger;
  return description;
}

std::shared_ptr<platform::CMSampleBuffer> sampleBuffer(const Samples& left, const platform::CMTime& time,
                                                       bool bigEndian, bool ready = true) {
  const auto description = stereo16Description(bigEndian);
  auto formatDescription = platform::CMFormatDescription::makeAudio(description).value;
  auto buffer = platform::CMSampleBuffer::makeAudio(formatDescription, left.size(), time).value;
  if (!ready) return buffer;
  std::vector<std::uint8_t> bytes;
  for (auto sample : left) {
    for (auto value : {sample, static_cast<std::int16_t>(-sample)}) {
      const auto bits = static_cast<std::uint16_t>(value);
      const std::uint8_t high = bits >> 8, low = bits & 0xFF;
      bytes.insert(bytes.end(), bigEndian ? std::initializer_list<std::uint8_t>{high, low}
                                          : std::initializer_list<std::uint8_t>{low, high});
    }
  }
  const std::span<const std::uint8_t> audioBuffers[] = {bytes};
  EXPECT_EQ(buffer->setDataBufferFromAudioBuffers(audioBuffers), platform::noErr);
  return buffer;
}

TEST(AudioRingBufferTests, StoresSampleBuffersInNativeByteOrder) {
  auto ring = AudioRingBuffer::make(stereo16(), 1);
  ring->append(*sampleBuffer(numbers(1, 100), platform::CMTime::make(48000, 48000), false));
  ring->append(*sampleBuffer(numbers(0x0102, 100), platform::CMTime::make(48100, 48000), true));
  EXPECT_EQ(ring->sampleTime(), 48200);
  EXPECT_EQ(readAll(*ring), numbers(1, 100) + numbers(0x0102, 100));
}

TEST(AudioRingBufferTests, TakesSampleTimesFromAnyTimescale) {
  auto ring = AudioRingBuffer::make(stereo16(), 1);
  // Host-clock times after three days of uptime, in nanoseconds.
  const std::int64_t start = 3LL * 86400 * 1'000'000'000;
  ring->append(*sampleBuffer(numbers(1, 100), platform::CMTime::make(start, 1'000'000'000), false));
  EXPECT_EQ(ring->sampleTime(), 3LL * 86400 * 48000 + 100);
  // 5 ms (240 frames) after the first buffer's start: 140 frames of silence.
  ring->append(*sampleBuffer(numbers(201, 100), platform::CMTime::make(start + 5'000'000, 1'000'000'000), false));
  EXPECT_EQ(readAll(*ring), numbers(1, 100) + silence(140) + numbers(201, 100));
}

TEST(AudioRingBufferTests, SkipsSampleBuffersItCannotPlace) {
  auto ring = AudioRingBuffer::make(stereo16(), 1);
  ring->append(*sampleBuffer(numbers(1, 100), platform::CMTime::make(0, 48000), false, false));  // not ready
  ring->append(*sampleBuffer(numbers(1, 100), platform::CMTime{480, 0, platform::CMTime::valid}, false));
  ring->append(*sampleBuffer(numbers(1, 100), platform::CMTime::invalid, false));
  EXPECT_EQ(ring->counts(), 0u);
  EXPECT_EQ(ring->sampleTime(), 0);
}

TEST(AudioRingBufferTests, SwapsOnly16BitSamplesAndRefusesOtherLayouts) {
  const auto int32Format = AVAudioFormat::make(AVAudioCommonFormat::pcmFormatInt32, kRate, 2, true);
  auto ring = AudioRingBuffer::make(int32Format, 1);
  auto storeZeros = [&](platform::AudioStreamBasicDescription description) {
    auto formatDescription = platform::CMFormatDescription::makeAudio(description).value;
    auto buffer = platform::CMSampleBuffer::makeAudio(formatDescription, 10, platform::CMTime::make(0, 48000)).value;
    const std::vector<std::uint8_t> zeros(10 * description.mBytesPerFrame);
    const std::span<const std::uint8_t> audioBuffers[] = {zeros};
    ASSERT_EQ(buffer->setDataBufferFromAudioBuffers(audioBuffers), platform::noErr);
    ring->append(*buffer);
  };
  auto bigEndian = int32Format->streamDescription();
  bigEndian.mFormatFlags |= platform::kAudioFormatFlagIsBigEndian;
  storeZeros(bigEndian);
  storeZeros(stereo16()->streamDescription());
  EXPECT_EQ(ring->counts(), 0u);
  storeZeros(int32Format->streamDescription());
  EXPECT_EQ(ring->counts(), 10u);
}

TEST(AudioRingBufferTests, KeepsTheNewestFramesOfASampleBufferLongerThanTheRing) {
  auto ring = AudioRingBuffer::make(stereo16(), 1);
  ring->append(*sampleBuffer(numbers(1, 1500), platform::CMTime::make(0, 48000), false));
  EXPECT_EQ(ring->sampleTime(), 1500);
  EXPECT_EQ(readAll(*ring), numbers(477, 1024));
}

TEST(AudioRingBufferTests, StoresWhatTheFormatOfABigEndianDescriptionDescribes) {
  const auto format = makeAudioFormat(platform::CMFormatDescription::makeAudio(stereo16Description(true)).value);
  ASSERT_TRUE(format);
  auto ring = AudioRingBuffer::make(format, 1);
  ring->append(*sampleBuffer(numbers(0x0A0B, 64), platform::CMTime::make(0, 48000), true));
  EXPECT_EQ(readAll(*ring), numbers(0x0A0B, 64));
}

}  // namespace
}  // namespace fluvio
