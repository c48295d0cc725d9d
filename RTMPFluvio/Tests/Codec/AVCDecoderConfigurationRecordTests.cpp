#include "RTMPFluvio/Sources/Codec/AVCDecoderConfigurationRecord.hpp"

#include <gtest/gtest.h>

#include "RTMPFluvio/Tests/AMF/AMFTestSupport.hpp"
#include "RTMPFluvio/Tests/Codec/ParameterSetFixtures.hpp"

namespace rtmpfluvio {
namespace {

using testing::Bytes;
using testing::concatenated;

const Bytes kBaseline{0x01, 0x42, 0xC0, 0x1F, 0xFF, 0xE1, 0x00, 0x04, 0x67, 0x42,
                      0xC0, 0x1F, 0x01, 0x00, 0x04, 0x68, 0xCE, 0x3C, 0x80};

constexpr auto parsed = testing::parsed<AVCDecoderConfigurationRecord>;

TEST(AVCDecoderConfigurationRecordTests, ParsesAndWritesTheRecord) {
  const auto record = parsed(kBaseline);
  EXPECT_EQ(record.configurationVersion, 1);
  EXPECT_EQ(record.avcProfileIndication, 0x42);
  EXPECT_EQ(record.profileCompatibility, 0xC0);
  EXPECT_EQ(record.avcLevelIndication, 0x1F);
  EXPECT_EQ(record.lengthSizeMinusOneWithReserved, 0xFF);
  EXPECT_EQ(record.numOfSequenceParameterSetsWithReserved, 0xE1);
  EXPECT_EQ(record.sequenceParameterSets, (std::vector<Bytes>{{0x67, 0x42, 0xC0, 0x1F}}));
  EXPECT_EQ(record.pictureParameterSets, (std::vector<Bytes>{{0x68, 0xCE, 0x3C, 0x80}}));
  EXPECT_EQ(record.data(), kBaseline);

  // An extension behind a profile that has none is not read.
  EXPECT_EQ(parsed(concatenated({kBaseline, {0xFD, 0xF8, 0xF8, 0x00}})), record);
  // A high-profile record keeps its extension and writes it back.
  const auto high = parsed(testing::kAVCC);
  EXPECT_EQ(high.chromaFormatWithReserve, 0xFD);
  EXPECT_EQ(high.data(), testing::kAVCC);

  EXPECT_EQ(AVCDecoderConfigurationRecord().data(), (Bytes{0x01, 0x00, 0x00, 0x00, 0xFC, 0xE0, 0x00}));
}

TEST(AVCDecoderConfigurationRecordTests, TheWriterSetsReservedBitsAndCounts) {
  AVCDecoderConfigurationRecord record;
  record.lengthSizeMinusOneWithReserved = 0x03;
  record.numOfSequenceParameterSetsWithReserved = 0x05;  // disagrees with the list
  record.sequenceParameterSets = {{0x67}, {0x67, 0x01}};
  EXPECT_EQ(record.data(), (Bytes{0x01, 0x00, 0x00, 0x00, 0xFF, 0xE2, 0x00, 0x01, 0x67, 0x00, 0x02, 0x67, 0x01, 0x00}));

  record.pictureParameterSets = {Bytes(65536, 0x68)};
  EXPECT_TRUE(record.data().empty());
  record.pictureParameterSets = std::vector<Bytes>(256, {0x68});
  EXPECT_TRUE(record.data().empty());
}

TEST(AVCDecoderConfigurationRecordTests, ARecordCutShortKeepsWhatWasRead) {
  // Two sequence parameter sets announced, one present.
  const auto record = parsed({0x01, 0x42, 0xC0, 0x1F, 0xFF, 0xE2, 0x00, 0x04, 0x67, 0x42, 0xC0, 0x1F});
  EXPECT_EQ(record.sequenceParameterSets.size(), 1u);
  EXPECT_TRUE(record.pictureParameterSets.empty());

  // Ending right after a picture parameter set count of 0 is complete.
  const auto noPictureSets = parsed({0x01, 0x42, 0xC0, 0x1F, 0xFF, 0xE1, 0x00, 0x01, 0x67, 0x00});
  EXPECT_EQ(noPictureSets.sequenceParameterSets.size(), 1u);
  EXPECT_TRUE(noPictureSets.pictureParameterSets.empty());

  // Every cut of a valid record parses without reading past it.
  for (std::size_t length = 0; length < testing::kAVCC.size(); ++length) {
    parsed(Bytes(testing::kAVCC.begin(), testing::kAVCC.begin() + static_cast<std::ptrdiff_t>(length)));
  }
  EXPECT_EQ(parsed({0x02}).configurationVersion, 2);
}

TEST(AVCDecoderConfigurationRecordTests, TheFormatDescriptionNeedsBothParameterSets) {
  const auto description = parsed(testing::kAVCC).makeFormatDescription();
  ASSERT_TRUE(description);
  EXPECT_EQ(description->dimensions(), (platform::CMVideoDimensions{1920, 1080}));
  EXPECT_EQ(description->nalUnitHeaderLength(), 4);
  EXPECT_EQ(description->parameterSets(), (std::vector<Bytes>{testing::kH264SPS, testing::kH264PPS}));

  // The length size comes from the record.
  auto twoByteLengths = parsed(testing::kAVCC);
  twoByteLengths.lengthSizeMinusOneWithReserved = 0xFD;
  EXPECT_EQ(twoByteLengths.makeFormatDescription()->nalUnitHeaderLength(), 2);

  auto withoutPictureSets = parsed(testing::kAVCC);
  withoutPictureSets.pictureParameterSets.clear();
  EXPECT_FALSE(withoutPictureSets.makeFormatDescription());
  auto emptySequenceSet = parsed(testing::kAVCC);
  emptySequenceSet.sequenceParameterSets = {{}};
  EXPECT_FALSE(emptySequenceSet.makeFormatDescription());
  EXPECT_FALSE(AVCDecoderConfigurationRecord().makeFormatDescription());
}

}  // namespace
}  // namespace rtmpfluvio
