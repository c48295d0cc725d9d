#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Fluvio/Sources/Extension/AVAudioCompressedBufferExtension.hpp"
#include "Fluvio/Sources/Extension/AVAudioTimeExtension.hpp"

namespace fluvio {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::shared_ptr<platform::AVAudioCompressedBuffer> makeAACBuffer(double sampleRate, std::uint32_t objectType,
                                                                  std::uint32_t byteLength) {
  platform::AudioStreamBasicDescription aac;
  aac.mSampleRate = sampleRate;
  aac.mFormatID = platform::kAudioFormatMPEG4AAC;
  aac.mFormatFlags = objectType;
  aac.mFramesPerPacket = 1024;
  aac.mChannelsPerFrame = 2;
  auto buffer = platform::AVAudioCompressedBuffer::make(platform::AVAudioFormat::make(aac), 1, 8192);
  EXPECT_TRUE(buffer);
  buffer->setByteLength(byteLength);
  auto* bytes = static_cast<std::uint8_t*>(buffer->data());
  for (std::uint32_t index = 0; index < byteLength; ++index) bytes[index] = static_cast<std::uint8_t>(index);
  return buffer;
}

TEST(AVAudioCompressedBufferEncodeTest, WritesTheADTSHeaderThenTheFrame) {
  const auto buffer = makeAACBuffer(44100, 2, 364);
  Bytes data(371 + 5, 0xEE);
  ASSERT_TRUE(encode(*buffer, data));
  EXPECT_EQ((Bytes(data.begin(), data.begin() + 7)), (Bytes{0xFF, 0xF1, 0x50, 0x80, 0x2E, 0x7F, 0xFC}));
  EXPECT_EQ(std::memcmp(data.data() + 7, buffer->data(), 364), 0);
  // Bytes beyond the frame stay as they were.
  EXPECT_EQ((Bytes(data.end() - 5, data.end())), Bytes(5, 0xEE));
}

TEST(AVAudioCompressedBufferEncodeTest, GrowsDataTooShortForTheFrame) {
  const auto buffer = makeAACBuffer(44100, 2, 364);
  Bytes data(10, 0xEE);
  ASSERT_TRUE(encode(*buffer, data));
  ASSERT_EQ(data.size(), 371u);
  EXPECT_EQ(data[6], 0xFC);
  EXPECT_EQ(std::memcmp(data.data() + 7, buffer->data(), 364), 0);
}

TEST(AVAudioCompressedBufferEncodeTest, WritesNothingForFramesADTSCannotCarry) {
  Bytes data(16, 0xEE);
  // A rate outside the index table, an object type without an ADTS profile,
  // and a frame too long for the 13-bit length field.
  for (const auto& buffer :
       {makeAACBuffer(44000, 2, 100), makeAACBuffer(44100, 5, 100), makeAACBuffer(44100, 2, 8185)}) {
    EXPECT_FALSE(encode(*buffer, data));
    EXPECT_EQ(data, Bytes(16, 0xEE));
  }
}

TEST(AVAudioTimeMakeTimeTest, HostTimeInNanosecondsExactly) {
  const std::uint64_t days = 40ull * 86'400 * 1'000'000'000 + 7;
  EXPECT_EQ(makeTime(*platform::AVAudioTime::make(days)),
            platform::CMTime::make(static_cast<std::int64_t>(days), 1'000'000'000));
  EXPECT_FALSE(makeTime(*platform::AVAudioTime::make(std::int64_t{480}, 48000.0)).isValid());
}

}  // namespace
}  // namespace fluvio
