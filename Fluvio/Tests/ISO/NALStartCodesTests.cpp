#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "Fluvio/Sources/ISO/NALStartCodes.hpp"

namespace fluvio {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The scan as the byte-stream format reads it, from the back: a start code
// ends wherever 0x00 0x00 0x01 does and takes one more leading zero when
// there is one. Gives (unit offset, length), last unit first.
std::vector<std::pair<std::size_t, std::size_t>> scanBackwards(const Bytes& data) {
  std::vector<std::pair<std::size_t, std::size_t>> units;
  if (data.size() < 3) return units;
  std::size_t end = data.size();
  for (std::size_t last = data.size() - 1; last >= 2; --last) {
    if (data[last] != 0x01 || data[last - 1] != 0x00 || data[last - 2] != 0x00) continue;
    units.emplace_back(last + 1, end - (last + 1));
    end = (last >= 3 && data[last - 3] == 0x00) ? last - 3 : last - 2;
  }
  return units;
}

TEST(NALStartCodesTest, FindsWhatTheBackwardScanFinds) {
  std::mt19937 random(7);
  std::discrete_distribution<int> byteKind({5, 3, 2});
  for (int round = 0; round < 5000; ++round) {
    Bytes data(random() % 48);
    for (auto& byte : data) {
      const int kind = byteKind(random);
      byte = kind == 0 ? 0x00 : kind == 1 ? 0x01 : static_cast<std::uint8_t>(random());
    }
    const auto expected = scanBackwards(data);
    const auto found = findNALStartCodeUnits(data);
    ASSERT_EQ(found.size(), expected.size()) << "round " << round;
    for (std::size_t index = 0; index < found.size(); ++index) {
      const auto& unit = found[found.size() - 1 - index];
      EXPECT_EQ(unit.offset, expected[index].first) << "round " << round;
      EXPECT_EQ(unit.length, expected[index].second) << "round " << round;
    }
  }
}

TEST(NALStartCodesTest, TellsThreeFromFourByteStartCodes) {
  const auto units = findNALStartCodeUnits(Bytes{0xAA, 0x00, 0x00, 0x01, 0x65, 0x00, 0x00, 0x00, 0x01, 0x41});
  ASSERT_EQ(units.size(), 2u);
  EXPECT_EQ(units[0].startCodeOffset, 1u);
  EXPECT_EQ(units[0].startCodeLength(), 3u);
  EXPECT_EQ(units[0].length, 1u);
  EXPECT_EQ(units[1].startCodeOffset, 5u);
  EXPECT_EQ(units[1].startCodeLength(), 4u);
  EXPECT_EQ(units[1].length, 1u);
}

}  // namespace
}  // namespace fluvio
