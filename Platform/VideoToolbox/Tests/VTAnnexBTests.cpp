#include <gtest/gtest.h>

#include "Platform/VideoToolbox/VTAnnexB.hpp"

namespace platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<Bytes> unitsOf(const Bytes& data) {
  std::vector<Bytes> units;
  for (const auto unit : splitAnnexB(data)) units.emplace_back(unit.begin(), unit.end());
  return units;
}

TEST(VTAnnexB, SplitsOnThreeAndFourByteStartCodesAndDropsTrailingZeros) {
  const Bytes data{0x09, 0x00, 0x00, 0x00, 0x01, 0x67, 0x42, 0x00, 0x00, 0x01, 0x68, 0xCE,
                   0x00, 0x00, 0x00, 0x00, 0x01, 0x65, 0x88, 0x00, 0x00, 0x03, 0x01};
  // Bytes before the first start code belong to no unit; 00 00 03 is no start code.
  EXPECT_EQ(unitsOf(data), (std::vector<Bytes>{{0x67, 0x42}, {0x68, 0xCE}, {0x65, 0x88, 0x00, 0x00, 0x03, 0x01}}));
}

TEST(VTAnnexB, HandlesDataWithoutUnits) {
  EXPECT_TRUE(unitsOf({}).empty());
  EXPECT_TRUE(unitsOf({0x00, 0x00, 0x01}).empty());
  EXPECT_TRUE(unitsOf({0x00, 0x00, 0x01, 0x00, 0x00, 0x01}).empty());
  EXPECT_TRUE(unitsOf({0x65, 0x88, 0x84}).empty());
}

TEST(VTAnnexB, LengthPrefixesEachUnit) {
  const Bytes first{0x67, 0x42}, second{0x65};
  const std::span<const std::uint8_t> units[] = {first, second};
  Bytes written(lengthPrefixedSize(units) + 1, 0xEE);
  ASSERT_EQ(written.size(), 12u);
  std::span<std::uint8_t> rest = written;
  for (const auto unit : units) rest = writeLengthPrefixed(unit, rest);
  EXPECT_EQ(rest.size(), 1u);
  EXPECT_EQ(written, (Bytes{0, 0, 0, 2, 0x67, 0x42, 0, 0, 0, 1, 0x65, 0xEE}));

  // A length above 16 bits spreads over the prefix's bytes.
  const Bytes large(0x01'02'03, 0x41);
  Bytes prefixed(lengthPrefixSize + large.size());
  EXPECT_TRUE(writeLengthPrefixed(large, prefixed).empty());
  EXPECT_EQ(Bytes(prefixed.begin(), prefixed.begin() + 5), (Bytes{0, 1, 2, 3, 0x41}));
  EXPECT_EQ(prefixed.back(), 0x41);
}

}  // namespace
}  // namespace platform
