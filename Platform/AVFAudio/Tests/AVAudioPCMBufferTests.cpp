#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"

namespace platform {
namespace {

TEST(AVAudioPCMBufferTests, InterleavedChannelsShareOneBufferAChannelCountApart) {
  const auto buffer = AVAudioPCMBuffer::make(AVAudioFormat::make(AVAudioCommonFormat::pcmFormatInt16, 48000, 2, true), 1024);
  ASSERT_TRUE(buffer);
  EXPECT_EQ(buffer->stride(), 2u);
  const AudioBufferList* list = buffer->audioBufferList();
  ASSERT_EQ(list->mNumberBuffers, 1u);
  EXPECT_EQ(list->mBuffers[0].mNumberChannels, 2u);

  std::int16_t* const* channels = buffer->int16ChannelData();
  ASSERT_NE(channels, nullptr);
  EXPECT_EQ(channels[0], list->mBuffers[0].mData);
  EXPECT_EQ(channels[1], channels[0] + 1);
  EXPECT_EQ(buffer->floatChannelData(), nullptr);
  EXPECT_EQ(buffer->int32ChannelData(), nullptr);

  channels[1][5 * buffer->stride()] = 77;
  EXPECT_EQ(static_cast<const std::int16_t*>(list->mBuffers[0].mData)[11], 77);
}

TEST(AVAudioPCMBufferTests, PlanarChannelsHaveAlignedBuffersOfTheirOwn) {
  const auto buffer = AVAudioPCMBuffer::make(AVAudioFormat::makeStandard(48000, 3), 1001);
  ASSERT_TRUE(buffer);
  EXPECT_EQ(buffer->stride(), 1u);
  const AudioBufferList* list = buffer->audioBufferList();
  ASSERT_EQ(list->mNumberBuffers, 3u);
  float* const* channels = buffer->floatChannelData();
  ASSERT_NE(channels, nullptr);
  for (std::uint32_t channel = 0; channel < 3; ++channel) {
    EXPECT_EQ(list->mBuffers[channel].mNumberChannels, 1u);
    EXPECT_EQ(channels[channel], list->mBuffers[channel].mData);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(channels[channel]) % 16, 0u);
  }
  // Whole planes lie between the channels, so filling one never touches the next.
  std::memset(channels[0], 0xFF, 1001 * sizeof(float));
  EXPECT_EQ(channels[1][0], 0.0f);
  EXPECT_GE(channels[1] - channels[0], 1001);
}

TEST(AVAudioPCMBufferTests, StartsSilentAndEmpty) {
  const auto buffer = AVAudioPCMBuffer::make(AVAudioFormat::make(AVAudioCommonFormat::pcmFormatInt32, 8000, 2, false), 64);
  ASSERT_TRUE(buffer);
  EXPECT_EQ(buffer->frameLength(), 0u);
  for (const AudioBuffer& entry : buffer->audioBufferList()->buffers()) {
    EXPECT_EQ(entry.mDataByteSize, 0u);
  }
  for (int frame = 0; frame < 64; ++frame) {
    EXPECT_EQ(buffer->int32ChannelData()[1][frame], 0);
  }
}

TEST(AVAudioPCMBufferTests, FrameLengthStaysWithinCapacityAndSizesTheBuffers) {
  const auto planar = AVAudioPCMBuffer::make(AVAudioFormat::makeStandard(44100, 2), 1024);
  planar->setFrameLength(512);
  EXPECT_EQ(planar->frameLength(), 512u);
  EXPECT_EQ(planar->audioBufferList()->mBuffers[1].mDataByteSize, 2048u);
  planar->setFrameLength(4096);
  EXPECT_EQ(planar->frameLength(), 1024u);
  EXPECT_EQ(planar->audioBufferList()->mBuffers[0].mDataByteSize, 4096u);

  const auto interleaved =
      AVAudioPCMBuffer::make(AVAudioFormat::make(AVAudioCommonFormat::pcmFormatInt16, 48000, 2, true), 1024);
  interleaved->setFrameLength(1024);
  EXPECT_EQ(interleaved->audioBufferList()->mBuffers[0].mDataByteSize, 4096u);
  interleaved->setFrameLength(0);
  EXPECT_EQ(interleaved->audioBufferList()->mBuffers[0].mDataByteSize, 0u);
}

TEST(AVAudioPCMBufferTests, OtherLayoutsGetBytesButNoTypedChannels) {
  const auto float64 = AVAudioPCMBuffer::make(AVAudioFormat::make(AVAudioCommonFormat::pcmFormatFloat64, 48000, 2, true), 16);
  ASSERT_TRUE(float64);
  EXPECT_EQ(float64->floatChannelData(), nullptr);
  float64->setFrameLength(16);
  EXPECT_EQ(float64->audioBufferList()->mBuffers[0].mDataByteSize, 256u);
}

TEST(AVAudioPCMBufferTests, RefusesCompressedFormatsAndCapacitiesBeyondOneBuffer) {
  AudioStreamBasicDescription aac;
  aac.mSampleRate = 48000;
  aac.mFormatID = kAudioFormatMPEG4AAC;
  aac.mFramesPerPacket = 1024;
  aac.mChannelsPerFrame = 2;
  EXPECT_FALSE(AVAudioPCMBuffer::make(AVAudioFormat::make(aac), 1024));
  EXPECT_FALSE(AVAudioPCMBuffer::make(nullptr, 1024));
  EXPECT_FALSE(AVAudioPCMBuffer::make(AVAudioFormat::make(AVAudioCommonFormat::pcmFormatFloat32, 48000, 2, true),
                                      0x80000000u));
}

}  // namespace
}  // namespace platform
