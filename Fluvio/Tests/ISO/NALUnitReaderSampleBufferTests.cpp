#include <gtest/gtest.h>

#include <vector>

#include "Fluvio/Sources/Extension/CMSampleBufferExtension.hpp"
#include "Fluvio/Sources/ISO/NALUnitReader.hpp"

namespace fluvio {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Units = std::vector<Bytes>;

// Baseline parameter sets of a 64x64 stream.
const Bytes sps{0x67, 0x42, 0xc0, 0x0a, 0xd9, 0x04, 0x26, 0xc0, 0x44, 0x00, 0x00, 0x03,
                0x00, 0x04, 0x00, 0x00, 0x03, 0x00, 0xf0, 0x3c, 0x48, 0x99, 0x20};
const Bytes pps{0x68, 0xcb, 0x83, 0xcb, 0x20};
const Bytes keyFrameDelimiter{0x09, 0x10};
const Bytes frameDelimiter{0x09, 0x30};

std::shared_ptr<const platform::CMFormatDescription> makeH264Description() {
  const std::span<const std::uint8_t> parameterSets[] = {sps, pps};
  auto description = platform::CMFormatDescription::makeFromH264ParameterSets(parameterSets, 4);
  EXPECT_TRUE(description) << description.status;
  return description.value;
}

std::shared_ptr<platform::CMSampleBuffer> makeFrame(Bytes data,
                                                     std::shared_ptr<const platform::CMFormatDescription> description) {
  const std::size_t size = data.size();
  auto made = platform::CMSampleBuffer::make(platform::CMBlockBuffer::make(std::move(data)), true,
                                             std::move(description), 1, {}, {&size, 1});
  EXPECT_TRUE(made) << made.status;
  return made.value;
}

TEST(NALUnitReaderSampleBufferTest, AKeyFrameLeadsWithTheDelimiterAndParameterSets) {
  const auto frame = makeFrame({0x00, 0x00, 0x00, 0x02, 0x65, 0x88}, makeH264Description());
  EXPECT_EQ(NALUnitReader::make()->read(*frame), (Units{keyFrameDelimiter, sps, pps, {0x65, 0x88}}));
}

TEST(NALUnitReaderSampleBufferTest, OtherFramesLeadWithTheirDelimiterOnly) {
  const auto frame = makeFrame({0x00, 0x00, 0x00, 0x01, 0x41, 0x00, 0x00, 0x00, 0x02, 0x41, 0x9a},
                               makeH264Description());
  setNotSync(*frame, true);
  EXPECT_EQ(NALUnitReader().read(*frame), (Units{frameDelimiter, {0x41}, {0x41, 0x9a}}));

  // A not-sync attachment holding false marks a key frame.
  frame->mutableSampleAttachments().front()[platform::CMSampleAttachmentKey::notSync] = false;
  EXPECT_EQ(NALUnitReader().read(*frame), (Units{keyFrameDelimiter, sps, pps, {0x41}, {0x41, 0x9a}}));
}

TEST(NALUnitReaderSampleBufferTest, AKeyFrameWithoutDescriptionGetsNoDelimiter) {
  EXPECT_EQ(NALUnitReader().read(*makeFrame({0x00, 0x00, 0x00, 0x01, 0x65}, nullptr)), (Units{{0x65}}));
}

TEST(NALUnitReaderSampleBufferTest, TheWalkEndsAtDataThatHoldsNoWholeUnit) {
  NALUnitReader reader;
  // Exactly one prefix, and 1 to 4 bytes after the last whole unit.
  EXPECT_EQ(reader.read(*makeFrame({0x00, 0x00, 0x00, 0x00}, nullptr)), Units{});
  for (std::size_t trailing = 1; trailing <= 4; ++trailing) {
    Bytes data{0x00, 0x00, 0x00, 0x01, 0x65};
    data.resize(data.size() + trailing, 0x00);
    EXPECT_EQ(reader.read(*makeFrame(data, nullptr)), (Units{{0x65}})) << trailing;
  }
  // A prefix that runs past the data drops it and what follows.
  EXPECT_EQ(reader.read(*makeFrame({0x00, 0x00, 0x00, 0x01, 0x65, 0x00, 0x00, 0x00, 0x09, 0x41, 0x9a}, nullptr)),
            (Units{{0x65}}));
  EXPECT_EQ(reader.read(*makeFrame({0xFF, 0xFF, 0xFF, 0xFF, 0x65}, nullptr)), Units{});
  // An empty unit is a unit.
  EXPECT_EQ(reader.read(*makeFrame({0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x65}, nullptr)),
            (Units{{}, {0x65}}));
}

TEST(NALUnitReaderSampleBufferTest, ASampleWithoutDataGivesOnlyTheLeadingUnits) {
  auto made = platform::CMSampleBuffer::make(nullptr, false, makeH264Description(), 1, {}, {});
  ASSERT_TRUE(made) << made.status;
  EXPECT_EQ(NALUnitReader().read(*made.value), (Units{keyFrameDelimiter, sps, pps}));
}

}  // namespace
}  // namespace fluvio
