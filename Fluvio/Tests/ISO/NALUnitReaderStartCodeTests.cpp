#include <gtest/gtest.h>

#include <vector>

#include "Fluvio/Sources/ISO/H264NALUnit.hpp"
#include "Fluvio/Sources/ISO/HEVCNALUnit.hpp"
#include "Fluvio/Sources/ISO/NALUnitReader.hpp"

namespace fluvio {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(NALUnitReaderStartCodeTest, ListsTheLastUnitFirst) {
  const Bytes data{0x00, 0x00, 0x00, 0x01, 0x67, 0x42, 0x00, 0x00, 0x01, 0x68, 0xCE};
  const auto units = NALUnitReader().read<H264NALUnit>(data);
  ASSERT_EQ(units.size(), 2u);
  EXPECT_EQ(units[0].type(), H264NALUnitType::pps);
  EXPECT_EQ(units[0].data(), (Bytes{0x68, 0xCE}));
  EXPECT_EQ(units[1].type(), H264NALUnitType::sps);
  EXPECT_EQ(units[1].data(), (Bytes{0x67, 0x42}));
}

TEST(NALUnitReaderStartCodeTest, SkipsPlacesTooShortForAUnitAndLeadingBytes) {
  NALUnitReader reader;
  EXPECT_TRUE(reader.read<H264NALUnit>(Bytes{}).empty());
  EXPECT_TRUE(reader.read<H264NALUnit>(Bytes{0x01}).empty());
  EXPECT_TRUE(reader.read<H264NALUnit>(Bytes{0x00, 0x00, 0x01}).empty());

  const Bytes backToBack{0xEE, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x65, 0x00, 0x00, 0x01};
  const auto h264 = reader.read<H264NALUnit>(backToBack);
  ASSERT_EQ(h264.size(), 1u);
  EXPECT_EQ(h264[0].data(), Bytes{0x65});

  // A one-byte place holds no HEVC header.
  EXPECT_TRUE(reader.read<HEVCNALUnit>(Bytes{0x00, 0x00, 0x01, 0x40}).empty());
  const auto hevc = reader.read<HEVCNALUnit>(Bytes{0x00, 0x00, 0x00, 0x01, 0x40, 0x01, 0x0C});
  ASSERT_EQ(hevc.size(), 1u);
  EXPECT_EQ(hevc[0].type(), HEVCNALUnitType::vps);
}

}  // namespace
}  // namespace fluvio
