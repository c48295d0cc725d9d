#include <gtest/gtest.h>

#include <vector>

#include "Fluvio/Sources/ISO/ByteArray.hpp"

namespace fluvio {
namespace {

TEST(ByteArrayTest, ReadsBigEndianAndStaysPutAtTheEnd) {
  ByteArray bytes({0x00, 0x00, 0x01, 0x02, 0xAA, 0xBB});
  EXPECT_EQ(bytes.readUInt32(), 0x0102u);
  EXPECT_EQ(bytes.position, 4u);

  try {
    bytes.readUInt32();
    FAIL() << "read past the end";
  } catch (const ByteArray::Error& error) {
    EXPECT_EQ(error.errorCase(), ByteArray::Error::Case::eof);
    EXPECT_STREQ(error.what(), "ByteArray.Error.eof");
  }
  EXPECT_THROW(bytes.readBytes(3), ByteArray::Error);
  EXPECT_EQ(bytes.position, 4u);

  const auto rest = bytes.readBytes(2);
  EXPECT_EQ((std::vector<std::uint8_t>(rest.begin(), rest.end())), (std::vector<std::uint8_t>{0xAA, 0xBB}));
  EXPECT_EQ(bytes.bytesAvailable(), 0u);

  // A position set past the end reads as nothing left.
  bytes.position = 100;
  EXPECT_EQ(bytes.bytesAvailable(), 0u);
  EXPECT_THROW(bytes.readBytes(1), ByteArray::Error);
}

TEST(ByteArrayTest, DescribesItsSizeAndPosition) {
  ByteArray bytes(std::vector<std::uint8_t>(11));
  bytes.position = 4;
  EXPECT_EQ(bytes.debugDescription(), "ByteArray{data: 11 bytes,position: 4}");
}

}  // namespace
}  // namespace fluvio
