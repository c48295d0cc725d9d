#include "RTMPFluvio/Sources/Codec/OpusHeader.hpp"

#include <gtest/gtest.h>

#include <limits>

#include "RTMPFluvio/Sources/Codec/ConfigurationBox.hpp"
#include "RTMPFluvio/Tests/AMF/AMFTestSupport.hpp"
#include "RTMPFluvio/Tests/Codec/ParameterSetFixtures.hpp"

namespace rtmpfluvio {
namespace {

using testing::Bytes;

Bytes opusHead(std::uint32_t channels, double sampleRate) {
  const auto header = makeOpusHeader(channels, sampleRate);
  return header ? Bytes(header->begin(), header->end()) : Bytes();
}

TEST(OpusHeaderTests, IdentificationHeaderIsByteExact) {
  const Bytes magic{'O', 'p', 'u', 's', 'H', 'e', 'a', 'd'};
  Bytes expected = magic;
  expected.insert(expected.end(), {0x01, 0x02, 0x00, 0x00, 0x80, 0xBB, 0x00, 0x00, 0x00, 0x00, 0x00});
  EXPECT_EQ(opusHead(2, 48000), expected);

  const Bytes truncated = opusHead(1, 44100.9);
  EXPECT_EQ(Bytes(truncated.begin() + 9, truncated.begin() + 16), (Bytes{0x01, 0x00, 0x00, 0x44, 0xAC, 0x00, 0x00}));
  EXPECT_EQ(opusHead(2, 4294967295.0)[12], 0xFF);

  // Three to eight channels: family 1, stream counts and the Vorbis order.
  const Bytes surround = opusHead(6, 48000);
  EXPECT_EQ(Bytes(surround.begin() + 18, surround.end()), (Bytes{0x01, 4, 2, 0, 4, 1, 2, 3, 5}));
  EXPECT_EQ(opusHead(3, 48000).size(), 19u + 2 + 3);
  EXPECT_EQ(opusHead(8, 48000).size(), 19u + 2 + 8);
  EXPECT_EQ(opusHead(1, 48000).size(), 19u);

  EXPECT_TRUE(opusHead(0, 48000).empty());
  EXPECT_TRUE(opusHead(9, 48000).empty());
  EXPECT_TRUE(opusHead(2, -1).empty());
  EXPECT_TRUE(opusHead(2, 4294967296.0).empty());
  EXPECT_TRUE(opusHead(2, std::numeric_limits<double>::quiet_NaN()).empty());
}

TEST(OpusHeaderTests, ConfigurationBoxIsTheStoredRecord) {
  const std::span<const std::uint8_t> avcSets[] = {testing::kH264SPS, testing::kH264PPS};
  const auto h264 = platform::CMFormatDescription::makeFromH264ParameterSets(avcSets, 4).value;
  const auto avcC = configurationBox(*h264);
  ASSERT_TRUE(avcC);
  EXPECT_EQ(Bytes(avcC->begin(), avcC->end()), testing::kAVCC);

  const std::span<const std::uint8_t> hevcSets[] = {testing::kHEVCVPS, testing::kHEVCSPS, testing::kHEVCPPS};
  const auto hevc = platform::CMFormatDescription::makeFromHEVCParameterSets(hevcSets, 4).value;
  const auto hvcC = configurationBox(*hevc);
  ASSERT_TRUE(hvcC);
  EXPECT_EQ(Bytes(hvcC->begin(), hvcC->begin() + 23), testing::kHVCCHeader);

  const auto withoutAtoms = platform::CMFormatDescription::makeVideo(platform::kCMVideoCodecType_H264, {2, 2}).value;
  EXPECT_FALSE(configurationBox(*withoutAtoms));
  const auto audio = platform::CMFormatDescription::makeAudio({48000, platform::kAudioFormatOpus, 0, 0, 960, 0, 2, 0}).value;
  EXPECT_FALSE(configurationBox(*audio));
}

}  // namespace
}  // namespace rtmpfluvio
