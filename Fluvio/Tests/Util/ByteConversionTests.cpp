#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Fluvio/Sources/Util/ByteConversion.hpp"
#include "Fluvio/Sources/Util/DataBlockBuffer.hpp"
#include "Fluvio/Sources/Util/Mirror.hpp"

namespace fluvio {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ByteConversionTests, ValuesLieInMemoryOrder) {
  EXPECT_EQ(toData<std::uint32_t>(0x01020304), (Bytes{0x04, 0x03, 0x02, 0x01}));
  EXPECT_EQ(toData<std::int16_t>(-2), (Bytes{0xFE, 0xFF}));
  EXPECT_EQ(toData(1.0), (Bytes{0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
  // Network order is the swapped value's bytes.
  EXPECT_EQ(toData<std::uint16_t>(__builtin_bswap16(0x0102)), (Bytes{0x01, 0x02}));
}

TEST(ByteConversionTests, ReadingTakesTheFirstBytesAndPadsShortInputInFront) {
  EXPECT_EQ(fromData<std::uint32_t>(Bytes{}), 0u);
  EXPECT_EQ(fromData<std::uint32_t>(Bytes{0x00, 0x00, 0x01, 0x00, 0xFF}), 0x00010000u);
  EXPECT_EQ(__builtin_bswap16(fromData<std::uint16_t>(Bytes{0x01, 0x02})), 0x0102);
  // A three-byte big-endian field reads as the same number once swapped.
  EXPECT_EQ(__builtin_bswap32(fromData<std::uint32_t>(Bytes{0x01, 0x02, 0x03})), 0x00010203u);
  const Bytes longer{0xAA, 0x34, 0x12, 0xBB};
  EXPECT_EQ(fromData<std::uint16_t>(std::span(longer).subspan(1, 2)), 0x1234);
}

TEST(DataBlockBufferTests, CopiesTheBytesFromTheOffsetOn) {
  const std::vector<std::uint8_t> bytes{1, 2, 3, 4, 5};
  const auto block = makeBlockBuffer(bytes, 2);
  ASSERT_TRUE(block);
  EXPECT_EQ(std::vector<std::uint8_t>(block->data().begin(), block->data().end()), (std::vector<std::uint8_t>{3, 4, 5}));
  EXPECT_EQ(makeBlockBuffer(bytes)->dataLength(), 5u);
  EXPECT_FALSE(makeBlockBuffer(bytes, 5));
  EXPECT_FALSE(makeBlockBuffer(bytes, 6));
  EXPECT_FALSE(makeBlockBuffer({}));
}

struct Sample {
  int a = 1;
  std::string b = "x";
};

TEST(MirrorTests, DescribesLabelledChildrenWithoutSpacesBetweenEntries) {
  const Sample sample;
  EXPECT_EQ(Mirror("Sample", {Mirror::child("a", sample.a), Mirror::child("b", sample.b)}).debugDescription(),
            "Sample{a: 1,b: x}");
  EXPECT_EQ(Mirror("Empty", {}).debugDescription(), "Empty{}");
}

TEST(MirrorTests, PutsSuperclassChildrenFirstAndSkipsUnlabelledOnes) {
  const Mirror mirror("Derived", {Mirror::Child{std::nullopt, "hidden"}, Mirror::child("own", true)},
                      {Mirror::child("inherited", 2)});
  EXPECT_EQ(mirror.debugDescription(), "Derived{inherited: 2,own: true}");
}

TEST(MirrorTests, RendersValuesAsTextInterpolationDoes) {
  EXPECT_EQ(Mirror::describe(1.0), "1.0");
  EXPECT_EQ(Mirror::describe(0.1), "0.1");
  EXPECT_EQ(Mirror::describe(-3.0f), "-3.0");
  EXPECT_EQ(Mirror::describe(std::optional<int>(4)), "Optional(4)");
  EXPECT_EQ(Mirror::describe(std::optional<int>()), "nil");
  EXPECT_EQ(Mirror::describe(false), "false");
}

}  // namespace
}  // namespace fluvio
