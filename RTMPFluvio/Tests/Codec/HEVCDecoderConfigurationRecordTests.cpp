#include "RTMPFluvio/Sources/Codec/HEVCDecoderConfigurationRecord.hpp"

#include <gtest/gtest.h>

#include "RTMPFluvio/Tests/AMF/AMFTestSupport.hpp"
#include "RTMPFluvio/Tests/Codec/ParameterSetFixtures.hpp"

namespace rtmpfluvio {
namespace {

using fluvio::HEVCNALUnitType;
using testing::Bytes;
using testing::concatenated;

Bytes arrayOf(std::uint8_t typeByte, const Bytes& unit) {
  return concatenated({{typeByte, 0x00, 0x01, static_cast<std::uint8_t>(unit.size() >> 8),
                        static_cast<std::uint8_t>(unit.size())},
                       unit});
}

// The record a muxer writes for the Main stream of the fixtures.
const Bytes kHVCC = concatenated({testing::kHVCCHeader, arrayOf(0xA0, testing::kHEVCVPS),
                                  arrayOf(0xA1, testing::kHEVCSPS), arrayOf(0xA2, testing::kHEVCPPS)});

constexpr auto parsed = testing::parsed<HEVCDecoderConfigurationRecord>;

TEST(HEVCDecoderConfigurationRecordTests, ParsesEveryField) {
  const auto record = parsed(kHVCC);
  EXPECT_EQ(record.configurationVersion, 1);
  EXPECT_EQ(record.generalProfileSpace, 0);
  EXPECT_FALSE(record.generalTierFlag);
  EXPECT_EQ(record.generalProfileIdc, 1);
  EXPECT_EQ(record.generalProfileCompatibilityFlags, 0x60000000u);
  EXPECT_EQ(record.generalConstraintIndicatorFlags, 0x900000000000u);
  EXPECT_EQ(record.generalLevelIdc, 0x5D);
  EXPECT_EQ(record.minSpatialSegmentationIdc, 0);
  EXPECT_EQ(record.chromaFormat, 1);
  EXPECT_EQ(record.constantFrameRate, 0);
  EXPECT_EQ(record.numTemporalLayers, 1);
  EXPECT_EQ(record.temporalIdNested, 1);
  EXPECT_EQ(record.lengthSizeMinusOne, 3);
  EXPECT_EQ(record.numberOfArrays, 3);
  EXPECT_EQ(record.array.at(HEVCNALUnitType::vps), (std::vector<Bytes>{testing::kHEVCVPS}));
  EXPECT_EQ(record.array.at(HEVCNALUnitType::sps), (std::vector<Bytes>{testing::kHEVCSPS}));
  EXPECT_EQ(record.array.at(HEVCNALUnitType::pps), (std::vector<Bytes>{testing::kHEVCPPS}));

  Bytes highTier = kHVCC;
  highTier[1] = 0x61;
  const auto tier = parsed(highTier);
  EXPECT_EQ(tier.generalProfileSpace, 1);
  EXPECT_TRUE(tier.generalTierFlag);
  EXPECT_EQ(tier.generalProfileIdc, 1);
}

TEST(HEVCDecoderConfigurationRecordTests, WritesTheWholeRecordBack) {
  EXPECT_EQ(parsed(kHVCC).data(), kHVCC);
  // Completeness is kept as read.
  Bytes incompleteVPS = kHVCC;
  incompleteVPS[23] = 0x20;
  EXPECT_EQ(parsed(incompleteVPS).data(), incompleteVPS);

  // A type with no name of its own keeps its type from the unit.
  const Bytes sei{0x4E, 0x01, 0x05};
  const Bytes withSEI = concatenated({testing::kHVCCHeader, arrayOf(0xA0, testing::kHEVCVPS),
                                      arrayOf(0xA1, testing::kHEVCSPS), arrayOf(0xA2, testing::kHEVCPPS),
                                      arrayOf(0x27, sei)});
  Bytes fourArrays = withSEI;
  fourArrays[22] = 4;
  const auto record = parsed(fourArrays);
  EXPECT_EQ(record.array.at(HEVCNALUnitType::unspec), (std::vector<Bytes>{sei}));
  EXPECT_EQ(record.data(), fourArrays);

  // Arrays not read are complete when they hold parameter sets.
  HEVCDecoderConfigurationRecord fresh;
  fresh.lengthSizeMinusOne = 3;
  fresh.array[HEVCNALUnitType::sps] = {{0x42, 0x01}};
  EXPECT_EQ(fresh.data(), (Bytes{0x01, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0xF0, 0x00, 0xFC, 0xFC, 0xF8, 0xF8,
                                 0x00, 0x00, 0x03, 0x01, 0xA1, 0x00, 0x01, 0x00, 0x02, 0x42, 0x01}));
  fresh.array[HEVCNALUnitType::pps] = {Bytes(65536, 0x44)};
  EXPECT_TRUE(fresh.data().empty());
}

TEST(HEVCDecoderConfigurationRecordTests, WritesEachPackedFieldAtItsOwnBits) {
  struct Profile {
    std::uint8_t space;
    bool highTier;
    std::uint8_t idc;
  };
  for (const Profile profile : {Profile{2, true, 4}, Profile{1, false, 2}, Profile{0, true, 0}, Profile{3, true, 31}}) {
    HEVCDecoderConfigurationRecord record;
    record.generalProfileSpace = profile.space;
    record.generalTierFlag = profile.highTier;
    record.generalProfileIdc = profile.idc;
    const Bytes bytes = record.data();
    ASSERT_GE(bytes.size(), 23u);
    // general_profile_space(2) general_tier_flag(1) general_profile_idc(5)
    EXPECT_EQ(bytes[1] >> 6, profile.space);
    EXPECT_EQ((bytes[1] >> 5 & 1) == 1, profile.highTier) << int(profile.space) << " " << int(profile.idc);
    EXPECT_EQ(bytes[1] & 0x1F, profile.idc);
    const auto read = parsed(bytes);
    EXPECT_EQ(read.generalProfileSpace, profile.space);
    EXPECT_EQ(read.generalTierFlag, profile.highTier);
    EXPECT_EQ(read.generalProfileIdc, profile.idc);
  }

  struct Timing {
    std::uint8_t constantFrameRate, numTemporalLayers, temporalIdNested, lengthSizeMinusOne;
  };
  for (const Timing timing : {Timing{2, 5, 1, 1}, Timing{1, 2, 0, 3}}) {
    HEVCDecoderConfigurationRecord record;
    record.constantFrameRate = timing.constantFrameRate;
    record.numTemporalLayers = timing.numTemporalLayers;
    record.temporalIdNested = timing.temporalIdNested;
    record.lengthSizeMinusOne = timing.lengthSizeMinusOne;
    record.chromaFormat = timing.lengthSizeMinusOne;
    record.bitDepthLumaMinus8 = timing.numTemporalLayers;
    const Bytes bytes = record.data();
    ASSERT_GE(bytes.size(), 23u);
    // constantFrameRate(2) numTemporalLayers(3) temporalIdNested(1) lengthSizeMinusOne(2)
    EXPECT_EQ(bytes[21] >> 6, timing.constantFrameRate);
    EXPECT_EQ(bytes[21] >> 3 & 0x07, timing.numTemporalLayers);
    EXPECT_EQ(bytes[21] >> 2 & 0x01, timing.temporalIdNested);
    EXPECT_EQ(bytes[21] & 0x03, timing.lengthSizeMinusOne);
    EXPECT_EQ(bytes[16], 0xFC | timing.lengthSizeMinusOne) << "chroma format under six reserved bits";
    EXPECT_EQ(bytes[17], 0xF8 | timing.numTemporalLayers) << "luma depth under five reserved bits";
    EXPECT_EQ(parsed(bytes), record);
  }
}

TEST(HEVCDecoderConfigurationRecordTests, ArraysReplaceAndCutsKeepWhatWasRead) {
  const Bytes otherVPS{0x40, 0x01, 0x0C};
  Bytes twice = concatenated({testing::kHVCCHeader, arrayOf(0xA0, testing::kHEVCVPS), arrayOf(0x20, otherVPS)});
  twice[22] = 2;
  EXPECT_EQ(parsed(twice).array.at(HEVCNALUnitType::vps), (std::vector<Bytes>{otherVPS}));

  // Cut inside the picture parameter set: the arrays before it stay.
  const auto cut = parsed(Bytes(kHVCC.begin(), kHVCC.end() - 2));
  EXPECT_EQ(cut.array.at(HEVCNALUnitType::sps), (std::vector<Bytes>{testing::kHEVCSPS}));
  EXPECT_TRUE(cut.array.at(HEVCNALUnitType::pps).empty());
  EXPECT_FALSE(cut.makeFormatDescription());

  for (std::size_t length = 0; length < kHVCC.size(); ++length) {
    parsed(Bytes(kHVCC.begin(), kHVCC.begin() + static_cast<std::ptrdiff_t>(length)));
  }
}

TEST(HEVCDecoderConfigurationRecordTests, KeepsEveryArrayOfTypesWithoutAName) {
  const Bytes prefixSEI{0x4E, 0x01, 0x05};  // type 39
  const Bytes suffixSEI{0x50, 0x01, 0x06};  // type 40
  const Bytes otherPrefixSEI{0x4E, 0x01, 0x07};
  Bytes bothSEI = concatenated({testing::kHVCCHeader, arrayOf(0xA1, testing::kHEVCSPS), arrayOf(0x27, prefixSEI),
                                arrayOf(0x28, suffixSEI)});
  bothSEI[22] = 3;
  const auto record = parsed(bothSEI);
  EXPECT_EQ(record.array.at(HEVCNALUnitType::unspec), (std::vector<Bytes>{prefixSEI, suffixSEI}));
  EXPECT_EQ(record.data(), bothSEI) << "each written back as an array of its own";

  // A later array of the same type still replaces the earlier one.
  Bytes again = concatenated({bothSEI, arrayOf(0x27, otherPrefixSEI)});
  again[22] = 4;
  EXPECT_EQ(parsed(again).array.at(HEVCNALUnitType::unspec), (std::vector<Bytes>{suffixSEI, otherPrefixSEI}));
}

TEST(HEVCDecoderConfigurationRecordTests, ACutInsideTheFixedPartKeepsTheFieldsBeforeIt) {
  Bytes header = testing::kHVCCHeader;
  header[13] = 0xF0;
  header[14] = 0x05;  // minSpatialSegmentationIdc 5
  header[19] = 0x00;
  header[20] = 0x1E;  // avgFrameRate 30
  const auto cutAt = [&](std::size_t length) { return parsed(Bytes(header.begin(), header.begin() + length)); };
  EXPECT_EQ(cutAt(13).generalLevelIdc, 0x5D);
  EXPECT_EQ(cutAt(13).generalConstraintIndicatorFlags, 0x900000000000u);
  EXPECT_EQ(cutAt(14).minSpatialSegmentationIdc, 0) << "a field cut in two is not read";
  EXPECT_EQ(cutAt(15).minSpatialSegmentationIdc, 5);
  EXPECT_EQ(cutAt(20).avgFrameRate, 0);
  EXPECT_EQ(cutAt(21).avgFrameRate, 30);
  EXPECT_EQ(cutAt(21).lengthSizeMinusOne, 0);
  EXPECT_EQ(cutAt(22).lengthSizeMinusOne, 3);
}

TEST(HEVCDecoderConfigurationRecordTests, TheFormatDescriptionNeedsAllThreeParameterSets) {
  const auto description = parsed(kHVCC).makeFormatDescription();
  ASSERT_TRUE(description);
  EXPECT_EQ(description->mediaSubType(), platform::kCMVideoCodecType_HEVC);
  EXPECT_EQ(description->dimensions(), (platform::CMVideoDimensions{1280, 720}));
  EXPECT_EQ(description->nalUnitHeaderLength(), 4);

  auto twoByteLengths = parsed(kHVCC);
  twoByteLengths.lengthSizeMinusOne = 1;
  EXPECT_EQ(twoByteLengths.makeFormatDescription()->nalUnitHeaderLength(), 2);

  auto withoutPPS = parsed(kHVCC);
  withoutPPS.array.erase(HEVCNALUnitType::pps);
  EXPECT_FALSE(withoutPPS.makeFormatDescription());
  auto emptyVPS = parsed(kHVCC);
  emptyVPS.array[HEVCNALUnitType::vps] = {{}};
  EXPECT_FALSE(emptyVPS.makeFormatDescription());
}

}  // namespace
}  // namespace rtmpfluvio
