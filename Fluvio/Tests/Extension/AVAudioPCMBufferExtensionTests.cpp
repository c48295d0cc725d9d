#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "Fluvio/Sources/Extension/AVAudioPCMBufferExtension.hpp"
#include "Platform/AVFAudio/AVAudioCompressedBuffer.hpp"

namespace fluvio {
namespace {

using platform::AVAudioCommonFormat;
using platform::AVAudioPCMBuffer;

std::shared_ptr<AVAudioPCMBuffer> makeBuffer(AVAudioCommonFormat commonFormat, std::uint32_t channels,
                                             bool interleaved, std::uint32_t capacity, std::uint32_t length) {
  auto format = platform::AVAudioFormat::make(commonFormat, 48000, channels, interleaved);
  auto buffer = AVAudioPCMBuffer::make(format, capacity);
  EXPECT_TRUE(buffer);
  buffer->setFrameLength(length);
  return buffer;
}

// Every byte of every plane up to the capacity, so that tests see what lies
// past the frame length too.
std::vector<std::span<std::uint8_t>> wholePlanes(const AVAudioPCMBuffer& buffer) {
  const std::size_t bytes = std::size_t{buffer.frameCapacity()} * buffer.format()->streamDescription().mBytesPerFrame;
  std::vector<std::span<std::uint8_t>> planes;
  for (const auto& entry : buffer.audioBufferList()->buffers()) {
    planes.emplace_back(static_cast<std::uint8_t*>(entry.mData), bytes);
  }
  return planes;
}

// A pattern without zero bytes.
void fill(const AVAudioPCMBuffer& buffer, std::uint8_t seed) {
  for (const auto plane : wholePlanes(buffer)) {
    for (std::size_t index = 0; index < plane.size(); ++index) {
      plane[index] = static_cast<std::uint8_t>(1 + (seed + index) % 255);
    }
  }
}

std::vector<std::vector<std::uint8_t>> snapshot(const AVAudioPCMBuffer& buffer) {
  std::vector<std::vector<std::uint8_t>> planes;
  for (const auto plane : wholePlanes(buffer)) planes.emplace_back(plane.begin(), plane.end());
  return planes;
}

std::size_t zeroBytes(const AVAudioPCMBuffer& buffer) {
  std::size_t count = 0;
  for (const auto plane : wholePlanes(buffer)) count += std::count(plane.begin(), plane.end(), 0);
  return count;
}

TEST(AVAudioPCMBufferMutedTest, UnmutedGivesTheVeryBufferUntouched) {
  auto buffer = makeBuffer(AVAudioCommonFormat::pcmFormatInt16, 2, true, 1024, 1024);
  fill(*buffer, 1);
  const auto before = snapshot(*buffer);
  EXPECT_EQ(muted(buffer, false).get(), buffer.get());
  EXPECT_EQ(snapshot(*buffer), before);
}

TEST(AVAudioPCMBufferMutedTest, ZeroesExactlyTheValidFrames) {
  auto interleaved = makeBuffer(AVAudioCommonFormat::pcmFormatInt16, 2, true, 1024, 1024);
  std::memset(wholePlanes(*interleaved)[0].data(), 0x55, 4096);
  EXPECT_EQ(muted(interleaved, true).get(), interleaved.get());
  EXPECT_EQ(zeroBytes(*interleaved), 4096u);

  // Frames past the frame length are not the buffer's to touch.
  auto planar = makeBuffer(AVAudioCommonFormat::pcmFormatFloat32, 2, false, 1024, 1000);
  fill(*planar, 1);
  muted(planar, true);
  for (const auto plane : wholePlanes(*planar)) {
    EXPECT_TRUE(std::all_of(plane.begin(), plane.begin() + 4000, [](auto byte) { return byte == 0; }));
    EXPECT_EQ(std::count(plane.begin() + 4000, plane.end(), 0), 0);
  }
}

TEST(AVAudioPCMBufferMutedTest, SilencesEveryCommonFormat) {
  for (const auto commonFormat : {AVAudioCommonFormat::pcmFormatInt32, AVAudioCommonFormat::pcmFormatFloat64}) {
    auto buffer = makeBuffer(commonFormat, 3, false, 256, 256);
    fill(*buffer, 1);
    muted(buffer, true);
    EXPECT_EQ(zeroBytes(*buffer), 3 * 256 * buffer->format()->streamDescription().mBytesPerFrame);
  }
}

TEST(AVAudioPCMBufferCopyTest, CopiesEqualLayoutsWhole) {
  for (const bool interleaved : {true, false}) {
    for (const auto commonFormat : {AVAudioCommonFormat::pcmFormatInt16, AVAudioCommonFormat::pcmFormatFloat32,
                                    AVAudioCommonFormat::pcmFormatInt32, AVAudioCommonFormat::pcmFormatFloat64}) {
      auto source = makeBuffer(commonFormat, 2, interleaved, 1024, 1024);
      auto destination = makeBuffer(commonFormat, 2, interleaved, 1024, 1024);
      fill(*source, 7);
      EXPECT_TRUE(copy(*destination, *source));
      EXPECT_EQ(snapshot(*destination), snapshot(*source));
    }
  }
}

TEST(AVAudioPCMBufferCopyTest, RefusesMismatchedSourcesAndLeavesTheTargetAlone) {
  auto destination = makeBuffer(AVAudioCommonFormat::pcmFormatInt16, 2, true, 1024, 1024);
  fill(*destination, 3);
  const auto before = snapshot(*destination);

  const std::shared_ptr<AVAudioPCMBuffer> sources[] = {
      makeBuffer(AVAudioCommonFormat::pcmFormatInt16, 2, true, 1024, 1023),
      makeBuffer(AVAudioCommonFormat::pcmFormatFloat32, 2, true, 1024, 1024),
      makeBuffer(AVAudioCommonFormat::pcmFormatInt16, 1, true, 2048, 1024),
      makeBuffer(AVAudioCommonFormat::pcmFormatInt16, 8, true, 1024, 1024),
      makeBuffer(AVAudioCommonFormat::pcmFormatInt16, 2, false, 1024, 1024),
  };
  for (const auto& source : sources) {
    fill(*source, 9);
    EXPECT_FALSE(copy(*destination, *source));
    EXPECT_EQ(snapshot(*destination), before);
  }

  platform::AudioStreamBasicDescription aac;
  aac.mSampleRate = 48000;
  aac.mFormatID = platform::kAudioFormatMPEG4AAC;
  aac.mFormatFlags = 2;
  aac.mFramesPerPacket = 1024;
  aac.mChannelsPerFrame = 2;
  auto compressed = platform::AVAudioCompressedBuffer::make(platform::AVAudioFormat::make(aac), 1, 1024);
  ASSERT_TRUE(compressed);
  EXPECT_FALSE(copy(*destination, *compressed));
  EXPECT_EQ(snapshot(*destination), before);
}

TEST(AVAudioPCMBufferMakeSampleBufferTest, CarriesTheFramesAndTheHostTime) {
  auto buffer = makeBuffer(AVAudioCommonFormat::pcmFormatInt16, 2, true, 1024, 960);
  fill(*buffer, 5);
  const auto when = platform::AVAudioTime::make(std::uint64_t{86'400'123'456'789});

  const auto sampleBuffer = makeSampleBuffer(*buffer, *when);
  ASSERT_TRUE(sampleBuffer);
  EXPECT_EQ(sampleBuffer->numSamples(), 960u);
  EXPECT_TRUE(sampleBuffer->dataIsReady());
  EXPECT_EQ(sampleBuffer->presentationTimeStamp(), platform::CMTime::make(86'400'123'456'789, 1'000'000'000));
  const auto data = sampleBuffer->dataBuffer()->data();
  const auto plane = wholePlanes(*buffer)[0];
  ASSERT_EQ(data.size(), 960u * 4);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), plane.begin()));
}

TEST(AVAudioPCMBufferMakeSampleBufferTest, PlanarChannelsFollowOneAnother) {
  auto buffer = makeBuffer(AVAudioCommonFormat::pcmFormatFloat32, 2, false, 512, 512);
  fill(*buffer, 11);
  const auto sampleBuffer = makeSampleBuffer(*buffer, *platform::AVAudioTime::make(std::uint64_t{1}));
  ASSERT_TRUE(sampleBuffer);
  const auto data = sampleBuffer->dataBuffer()->data();
  const auto planes = wholePlanes(*buffer);
  ASSERT_EQ(data.size(), 2u * 2048);
  EXPECT_TRUE(std::equal(planes[0].begin(), planes[0].end(), data.begin()));
  EXPECT_TRUE(std::equal(planes[1].begin(), planes[1].end(), data.begin() + 2048));
}

TEST(AVAudioPCMBufferMakeSampleBufferTest, GivesNothingWithoutFrames) {
  auto buffer = makeBuffer(AVAudioCommonFormat::pcmFormatInt16, 2, true, 1024, 0);
  EXPECT_EQ(makeSampleBuffer(*buffer, *platform::AVAudioTime::make(std::uint64_t{1})), nullptr);
}

}  // namespace
}  // namespace fluvio
