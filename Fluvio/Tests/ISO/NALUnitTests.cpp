#include <gtest/gtest.h>

#include <vector>

#include "Fluvio/Sources/ISO/H264NALUnit.hpp"
#include "Fluvio/Sources/ISO/HEVCNALUnit.hpp"

namespace fluvio {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(H264NALUnitTest, SplitsTheHeaderByteAndWritesItBack) {
  const H264NALUnit idr(Bytes{0x65, 0x88, 0x84});
  EXPECT_EQ(idr.refIdc(), 3);
  EXPECT_EQ(idr.type(), H264NALUnitType::idr);
  EXPECT_EQ(idr.payload(), (Bytes{0x88, 0x84}));
  EXPECT_EQ(idr.data(), (Bytes{0x65, 0x88, 0x84}));

  // The forbidden-zero bit travels with refIdc.
  const H264NALUnit sps(Bytes{0xE7});
  EXPECT_EQ(sps.refIdc(), 7);
  EXPECT_EQ(sps.type(), H264NALUnitType::sps);
  EXPECT_TRUE(sps.payload().empty());
  EXPECT_EQ(sps.data(), Bytes{0xE7});
}

TEST(H264NALUnitTest, UnnamedTypesReadAsUnspec) {
  const H264NALUnit unit(Bytes{0x0D});
  EXPECT_EQ(unit.type(), H264NALUnitType::unspec);
  EXPECT_EQ(unit.data(), Bytes{0x00});

  EXPECT_EQ(fromRawValue<H264NALUnitType>(12), H264NALUnitType::fill);
  EXPECT_EQ(fromRawValue<H264NALUnitType>(13), std::nullopt);
  EXPECT_EQ(fromRawValue<H264NALUnitType>(255), std::nullopt);
}

TEST(H264NALUnitTest, RefusesDataWithoutAHeader) {
  EXPECT_THROW(H264NALUnit(Bytes{}), std::length_error);
}

TEST(HEVCNALUnitTest, SplitsTheTwoHeaderBytesAndWritesThemBack) {
  const HEVCNALUnit vps(Bytes{0x40, 0x01, 0x0C});
  EXPECT_EQ(vps.type(), HEVCNALUnitType::vps);
  EXPECT_EQ(vps.temporalIdPlusOne(), 1);
  EXPECT_EQ(vps.payload(), Bytes{0x0C});
  EXPECT_EQ(vps.data(), (Bytes{0x40, 0x01, 0x0C}));

  // Only the low five bits of the second byte count.
  EXPECT_EQ(HEVCNALUnit(Bytes{0x02, 0x09}).temporalIdPlusOne(), 9);
  EXPECT_EQ(HEVCNALUnit(Bytes{0x02, 0xF9}).temporalIdPlusOne(), 0x19);
}

TEST(HEVCNALUnitTest, UnnamedTypesReadAsUnspecAndWriteAs0xFE) {
  const HEVCNALUnit unit(Bytes{0x4E, 0x01});
  EXPECT_EQ(unit.type(), HEVCNALUnitType::unspec);
  EXPECT_TRUE(unit.payload().empty());
  EXPECT_EQ(unit.data(), (Bytes{0xFE, 0x01}));
}

TEST(HEVCNALUnitTest, RawValuesOutsideTheTableNameNoType) {
  EXPECT_EQ(fromRawValue<HEVCNALUnitType>(9), HEVCNALUnitType::codedSliceRsslR);
  EXPECT_EQ(fromRawValue<HEVCNALUnitType>(10), std::nullopt);
  EXPECT_EQ(fromRawValue<HEVCNALUnitType>(31), std::nullopt);
  EXPECT_EQ(fromRawValue<HEVCNALUnitType>(32), HEVCNALUnitType::vps);
  EXPECT_EQ(fromRawValue<HEVCNALUnitType>(35), HEVCNALUnitType::accessUnitDelimiter);
  EXPECT_EQ(fromRawValue<HEVCNALUnitType>(36), std::nullopt);
  EXPECT_EQ(fromRawValue<HEVCNALUnitType>(254), std::nullopt);
  EXPECT_EQ(fromRawValue<HEVCNALUnitType>(255), HEVCNALUnitType::unspec);
}

TEST(HEVCNALUnitTest, RefusesDataShorterThanTheHeader) {
  EXPECT_THROW(HEVCNALUnit(Bytes{0x40}), std::length_error);
}

}  // namespace
}  // namespace fluvio
