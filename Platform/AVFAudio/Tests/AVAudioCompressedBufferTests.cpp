#include <gtest/gtest.h>

#include "Platform/AVFAudio/AVAudioCompressedBuffer.hpp"

namespace platform {
namespace {

std::shared_ptr<AVAudioFormat> compressedFormat(AudioFormatID formatID, std::uint32_t bytesPerPacket) {
  AudioStreamBasicDescription description;
  description.mSampleRate = 48000;
  description.mFormatID = formatID;
  description.mBytesPerPacket = bytesPerPacket;
  description.mFramesPerPacket = 1024;
  description.mChannelsPerFrame = 2;
  return AVAudioFormat::make(description);
}

TEST(AVAudioCompressedBufferTests, VariablePacketsAreDescribedOneByOne) {
  const auto buffer = AVAudioCompressedBuffer::make(compressedFormat(kAudioFormatMPEG4AAC, 0), 4, 1536);
  ASSERT_TRUE(buffer);
  EXPECT_EQ(buffer->packetCapacity(), 4u);
  EXPECT_EQ(buffer->maximumPacketSize(), 1536u);
  EXPECT_EQ(buffer->byteCapacity(), 6144u);
  EXPECT_EQ(buffer->packetCount(), 0u);
  EXPECT_EQ(buffer->byteLength(), 0u);
  ASSERT_NE(buffer->packetDescriptions(), nullptr);
  buffer->packetDescriptions()[3] = {600, 0, 200};
  EXPECT_EQ(buffer->packetDescriptions()[3].mStartOffset, 600);

  const AudioBufferList* list = buffer->audioBufferList();
  ASSERT_EQ(list->mNumberBuffers, 1u);
  EXPECT_EQ(list->mBuffers[0].mData, buffer->data());
  EXPECT_EQ(list->mBuffers[0].mNumberChannels, 2u);
}

TEST(AVAudioCompressedBufferTests, CountsStayWithinCapacityAndSizeTheList) {
  const auto buffer = AVAudioCompressedBuffer::make(compressedFormat(kAudioFormatOpus, 0), 2, 100);
  buffer->setPacketCount(2);
  buffer->setByteLength(150);
  EXPECT_EQ(buffer->packetCount(), 2u);
  EXPECT_EQ(buffer->byteLength(), 150u);
  EXPECT_EQ(buffer->audioBufferList()->mBuffers[0].mDataByteSize, 150u);

  buffer->setPacketCount(3);
  buffer->setByteLength(201);
  EXPECT_EQ(buffer->packetCount(), 2u);
  EXPECT_EQ(buffer->byteLength(), 200u);
  EXPECT_EQ(buffer->audioBufferList()->mBuffers[0].mDataByteSize, 200u);
}

TEST(AVAudioCompressedBufferTests, ConstantPacketsTakeTheirSizeFromTheFormat) {
  const auto buffer = AVAudioCompressedBuffer::make(compressedFormat(fourCC("ulaw"), 2), 160);
  ASSERT_TRUE(buffer);
  EXPECT_EQ(buffer->maximumPacketSize(), 2u);
  EXPECT_EQ(buffer->byteCapacity(), 320u);
  EXPECT_EQ(buffer->packetDescriptions(), nullptr);

  EXPECT_FALSE(AVAudioCompressedBuffer::make(compressedFormat(kAudioFormatMPEG4AAC, 0), 1));
}

TEST(AVAudioCompressedBufferTests, RefusesPCMAndCapacitiesBeyond32Bits) {
  EXPECT_FALSE(AVAudioCompressedBuffer::make(AVAudioFormat::makeStandard(48000, 2), 1, 1024));
  EXPECT_FALSE(AVAudioCompressedBuffer::make(nullptr, 1, 1024));
  EXPECT_FALSE(AVAudioCompressedBuffer::make(compressedFormat(kAudioFormatMPEG4AAC, 0), 1, 0));
  EXPECT_FALSE(AVAudioCompressedBuffer::make(compressedFormat(kAudioFormatMPEG4AAC, 0), 0x10000, 0x10000));
}

}  // namespace
}  // namespace platform
