#include <gtest/gtest.h>

#include <vector>

#include "Fluvio/Sources/Extension/CMSampleBufferExtension.hpp"

namespace fluvio {
namespace {

using platform::CMSampleAttachmentKey;

std::shared_ptr<platform::CMSampleBuffer> makeFrame() {
  const platform::CMSampleTimingInfo timing{platform::CMTime::make(1, 30), platform::CMTime::zero,
                                            platform::CMTime::invalid};
  const std::size_t size = 2;
  auto made = platform::CMSampleBuffer::make(platform::CMBlockBuffer::make(std::vector<std::uint8_t>{0x65, 0x88}),
                                             true, nullptr, 1, {&timing, 1}, {&size, 1});
  EXPECT_TRUE(made);
  return made.value;
}

TEST(CMSampleBufferNotSyncTest, AFrameWithoutAttachmentsIsAKeyFrame) {
  auto frame = makeFrame();
  ASSERT_TRUE(frame->sampleAttachments().empty());
  EXPECT_FALSE(isNotSync(*frame));

  // Clearing a flag that was never set makes no attachments.
  setNotSync(*frame, false);
  EXPECT_TRUE(frame->sampleAttachments().empty());
}

TEST(CMSampleBufferNotSyncTest, SettingTrueCreatesTheAttachmentAndFalseRemovesIt) {
  auto frame = makeFrame();
  setNotSync(*frame, true);
  ASSERT_EQ(frame->sampleAttachments().size(), 1u);
  EXPECT_EQ(frame->sampleAttachments()[0].at(CMSampleAttachmentKey::notSync),
            platform::CMSampleAttachmentValue(std::int64_t{1}));
  EXPECT_TRUE(isNotSync(*frame));

  setNotSync(*frame, false);
  EXPECT_FALSE(frame->sampleAttachments()[0].contains(CMSampleAttachmentKey::notSync));
  EXPECT_FALSE(isNotSync(*frame));
}

TEST(CMSampleBufferNotSyncTest, OnlyATrueValueMakesAFrameNotSync) {
  auto frame = makeFrame();
  auto& first = frame->mutableSampleAttachments().front();
  first[CMSampleAttachmentKey::dependsOnOthers] = true;
  EXPECT_FALSE(isNotSync(*frame));
  first[CMSampleAttachmentKey::notSync] = false;
  EXPECT_FALSE(isNotSync(*frame));
  first[CMSampleAttachmentKey::notSync] = std::int64_t{0};
  EXPECT_FALSE(isNotSync(*frame));
  first[CMSampleAttachmentKey::notSync] = true;
  EXPECT_TRUE(isNotSync(*frame));
}

}  // namespace
}  // namespace fluvio
