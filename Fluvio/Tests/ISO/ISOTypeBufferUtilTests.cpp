#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "Fluvio/Sources/ISO/ISOTypeBufferUtil.hpp"
#include "Fluvio/Sources/ISO/NALStartCodes.hpp"

namespace fluvio {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes toByteStream(const Bytes& data) {
  return ISOTypeBufferUtil(data.data(), static_cast<std::uint32_t>(data.size())).toByteStream();
}

Bytes toNALFileFormat(Bytes data) {
  ISOTypeBufferUtil::toNALFileFormat(data);
  return data;
}

TEST(ISOTypeBufferUtilTest, MakesNothingWithoutData) {
  EXPECT_FALSE(ISOTypeBufferUtil::make(std::nullopt));
  EXPECT_EQ(ISOTypeBufferUtil::make(Bytes{1, 2})->data(), (Bytes{1, 2}));
  EXPECT_TRUE(ISOTypeBufferUtil(nullptr, 5).data().empty());
}

TEST(ISOTypeBufferUtilTest, ToByteStreamGivesEveryUnitAFourByteStartCode) {
  EXPECT_EQ(toByteStream({0x00, 0x00, 0x00, 0x02, 0xAA, 0xBB, 0x00, 0x00, 0x00, 0x01, 0xCC}),
            (Bytes{0x00, 0x00, 0x00, 0x01, 0xAA, 0xBB, 0x00, 0x00, 0x00, 0x01, 0xCC}));
  EXPECT_TRUE(toByteStream({}).empty());
}

TEST(ISOTypeBufferUtilTest, ToByteStreamStopsAtMalformedInputKeepingWholeUnits) {
  // A prefix that announces more bytes than remain: the cut unit leaves no start code behind.
  EXPECT_EQ(toByteStream({0x00, 0x00, 0x00, 0x01, 0xAA, 0x00, 0x00, 0x00, 0x09, 0xBB}),
            (Bytes{0x00, 0x00, 0x00, 0x01, 0xAA}));
  // Trailing bytes too few for a prefix.
  EXPECT_EQ(toByteStream({0x00, 0x00, 0x00, 0x01, 0xAA, 0x00, 0x00}), (Bytes{0x00, 0x00, 0x00, 0x01, 0xAA}));
  // A huge announced length neither allocates nor hangs.
  EXPECT_TRUE(toByteStream({0xFF, 0xFF, 0xFF, 0xFF, 0xAA}).empty());
}

TEST(ISOTypeBufferUtilTest, ToNALFileFormatWritesFourByteLengthsForEveryStartCode) {
  // Four-byte start codes are rewritten where they stand.
  EXPECT_EQ(toNALFileFormat({0x00, 0x00, 0x00, 0x01, 0xAA, 0xBB, 0x00, 0x00, 0x00, 0x01, 0xCC}),
            (Bytes{0x00, 0x00, 0x00, 0x02, 0xAA, 0xBB, 0x00, 0x00, 0x00, 0x01, 0xCC}));
  // A three-byte start code still becomes a four-byte length.
  EXPECT_EQ(toNALFileFormat({0x00, 0x00, 0x00, 0x01, 0xAA, 0xBB, 0x00, 0x00, 0x01, 0xCC}),
            (Bytes{0x00, 0x00, 0x00, 0x02, 0xAA, 0xBB, 0x00, 0x00, 0x00, 0x01, 0xCC}));
  EXPECT_EQ(toNALFileFormat({0x00, 0x00, 0x01, 0x67, 0x42, 0x00, 0x00, 0x01, 0x68}),
            (Bytes{0x00, 0x00, 0x00, 0x02, 0x67, 0x42, 0x00, 0x00, 0x00, 0x01, 0x68}));
}

TEST(ISOTypeBufferUtilTest, ToNALFileFormatDropsEmptyUnitsAndKeepsLeadingBytes) {
  EXPECT_EQ(toNALFileFormat({0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0xAA}), (Bytes{0x00, 0x00, 0x00, 0x01, 0xAA}));
  EXPECT_EQ(toNALFileFormat({0x00, 0x00, 0x00, 0x01, 0xAA, 0x00, 0x00, 0x00, 0x01}),
            (Bytes{0x00, 0x00, 0x00, 0x01, 0xAA}));
  EXPECT_EQ(toNALFileFormat({0x07, 0x00, 0x00, 0x00, 0x01, 0xAA}), (Bytes{0x07, 0x00, 0x00, 0x00, 0x01, 0xAA}));
}

TEST(ISOTypeBufferUtilTest, ToNALFileFormatLeavesDataWithoutStartCodesAlone) {
  for (const Bytes& data : {Bytes{}, Bytes{0x01}, Bytes{0x00, 0x01}, Bytes{0xAA, 0xBB, 0xCC, 0xDD}}) {
    EXPECT_EQ(toNALFileFormat(data), data);
  }
}

TEST(ISOTypeBufferUtilTest, LargeUnitsKeepTheirWholeLengthBothWays) {
  // 16 MiB and more no longer fits three length bytes.
  const std::size_t length = (std::size_t{1} << 24) + 3;
  Bytes annexB{0x00, 0x00, 0x01, 0x65};
  annexB.resize(3 + length, 0xAB);
  annexB.insert(annexB.end(), {0x00, 0x00, 0x01, 0x41, 0x9A});

  Bytes prefixed = toNALFileFormat(annexB);
  ASSERT_EQ(prefixed.size(), annexB.size() + 2);
  EXPECT_EQ((Bytes(prefixed.begin(), prefixed.begin() + 5)), (Bytes{0x01, 0x00, 0x00, 0x03, 0x65}));
  EXPECT_EQ((Bytes(prefixed.end() - 6, prefixed.end())), (Bytes{0x00, 0x00, 0x00, 0x02, 0x41, 0x9A}));

  const Bytes restored = toByteStream(prefixed);
  ASSERT_EQ(restored.size(), prefixed.size());
  EXPECT_EQ((Bytes(restored.begin(), restored.begin() + 5)), (Bytes{0x00, 0x00, 0x00, 0x01, 0x65}));
  EXPECT_TRUE(std::equal(restored.begin() + 4, restored.end() - 6, prefixed.begin() + 4));
}

TEST(ISOTypeBufferUtilTest, RandomStartCodeDataSurvivesTheRoundTrip) {
  // Mostly zeros and ones, so that start codes of both sizes, back-to-back
  // ones and near misses abound.
  std::mt19937 random(20240611);
  std::discrete_distribution<int> byteKind({5, 3, 2});
  for (int round = 0; round < 2000; ++round) {
    Bytes data{0x00, 0x00, 0x01};
    const std::size_t size = random() % 64;
    for (std::size_t index = 0; index < size; ++index) {
      const int kind = byteKind(random);
      data.push_back(kind == 0 ? 0x00 : kind == 1 ? 0x01 : static_cast<std::uint8_t>(random()));
    }

    // The units in data order, each with a 4-byte start code.
    Bytes expected;
    for (const NALStartCodeUnit& unit : findNALStartCodeUnits(data)) {
      if (unit.length == 0) continue;
      expected.insert(expected.end(), {0x00, 0x00, 0x00, 0x01});
      const auto begin = data.begin() + static_cast<std::ptrdiff_t>(unit.offset);
      expected.insert(expected.end(), begin, begin + static_cast<std::ptrdiff_t>(unit.length));
    }
    const Bytes prefixed = toNALFileFormat(data);
    ASSERT_EQ(toByteStream(prefixed), expected) << "round " << round;
  }
}

}  // namespace
}  // namespace fluvio
