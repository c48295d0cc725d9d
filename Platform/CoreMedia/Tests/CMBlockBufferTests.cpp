#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>
#include <vector>

#include "Platform/CoreMedia/CMBlockBuffer.hpp"

using platform::CMBlockBuffer;
using platform::noErr;

TEST(CMBlockBufferTests, SlicesShareTheStorageOfTheirParent) {
  const std::array<std::uint8_t, 6> bytes{1, 2, 3, 4, 5, 6};
  auto parent = CMBlockBuffer::make(bytes).value;
  auto slice = parent->slice(2, 3).value;
  ASSERT_NE(slice, nullptr);
  EXPECT_EQ(slice->data().data(), parent->data().data() + 2);
  EXPECT_EQ(slice->dataLength(), 3u);

  parent->mutableData()[3] = 40;
  EXPECT_EQ(slice->data()[1], 40);
  auto nested = slice->slice(1, 2).value;
  EXPECT_EQ(nested->data().data(), parent->data().data() + 3);

  parent.reset();  // the slice keeps the bytes alive
  EXPECT_EQ(std::vector<std::uint8_t>(nested->data().begin(), nested->data().end()), (std::vector<std::uint8_t>{40, 5}));
}

TEST(CMBlockBufferTests, TakesOverMovedBytesWithoutCopying) {
  std::vector<std::uint8_t> bytes(1280 * 720, 7);
  const std::uint8_t* address = bytes.data();
  const auto buffer = CMBlockBuffer::make(std::move(bytes));
  EXPECT_EQ(buffer->data().data(), address);
  EXPECT_EQ(buffer->dataLength(), 1280u * 720u);
}

TEST(CMBlockBufferTests, RefusesRangesPastTheEnd) {
  const std::array<std::uint8_t, 4> bytes{1, 2, 3, 4};
  auto buffer = CMBlockBuffer::make(bytes).value;
  EXPECT_EQ(buffer->slice(5, 0).status, platform::kCMBlockBufferBadOffsetParameterErr);
  EXPECT_EQ(buffer->slice(2, 3).status, platform::kCMBlockBufferBadLengthParameterErr);
  EXPECT_NE(buffer->slice(4, 0).value, nullptr);

  std::array<std::uint8_t, 3> destination{9, 9, 9};
  EXPECT_NE(buffer->copyDataBytes(2, destination), noErr);
  EXPECT_EQ(destination, (std::array<std::uint8_t, 3>{9, 9, 9}));
  EXPECT_EQ(buffer->copyDataBytes(1, destination), noErr);
  EXPECT_EQ(destination, (std::array<std::uint8_t, 3>{2, 3, 4}));
  EXPECT_NE(buffer->copyDataBytes(std::size_t(-1), destination), noErr);

  const std::array<std::uint8_t, 2> source{7, 8};
  EXPECT_NE(buffer->replaceDataBytes(source, 3), noErr);
  EXPECT_EQ(buffer->replaceDataBytes(source, 2), noErr);
  EXPECT_EQ(buffer->data()[3], 8);
}

// Storage is recycled: a buffer made in a block another one wrote to still
// starts zeroed, or as the bytes it copies.
TEST(CMBlockBufferTests, MadeBytesNeverShowWhatAnEarlierBufferWrote) {
  for (const std::size_t length : {std::size_t{4000}, std::size_t{30'000}}) {
    for (int round = 0; round < 3; ++round) {
      auto buffer = CMBlockBuffer::make(length).value;
      ASSERT_EQ(buffer->dataLength(), length);
      EXPECT_TRUE(std::ranges::all_of(buffer->data(), [](std::uint8_t byte) { return byte == 0; }));
      std::ranges::fill(buffer->mutableData(), 0xA5);
    }
    const std::vector<std::uint8_t> bytes(length, 3);
    const auto copy = CMBlockBuffer::make(bytes).value;
    EXPECT_TRUE(std::ranges::equal(copy->data(), bytes));
  }
}

TEST(CMBlockBufferTests, RefusesALengthNoObjectCanHave) {
  constexpr auto largest = static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max());
  EXPECT_EQ(CMBlockBuffer::make(largest + 1).status, platform::kCMBlockBufferBadLengthParameterErr);
  EXPECT_EQ(CMBlockBuffer::make(std::numeric_limits<std::size_t>::max()).status,
            platform::kCMBlockBufferBadLengthParameterErr);
  const auto empty = CMBlockBuffer::make(0);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty.value->dataLength(), 0u);
}
