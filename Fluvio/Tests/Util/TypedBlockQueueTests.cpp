#include <gtest/gtest.h>

#include "Fluvio/Sources/Util/TypedBlockQueue.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

using fluvio::TypedBlockQueue;
using platform::CMBufferQueue;
using platform::CMSampleBuffer;
using platform::CMTime;

namespace {

std::shared_ptr<CMSampleBuffer> frameAt(double seconds) {
  const platform::CMSampleTimingInfo timing{CMTime::make(1, 30), CMTime::makeWithSeconds(seconds, 1000),
                                            CMTime::invalid};
  return CMSampleBuffer::make(nullptr, false, nullptr, 1, {&timing, 1}, {}).value;
}

TypedBlockQueue<CMSampleBuffer> makeQueue() {
  return TypedBlockQueue<CMSampleBuffer>(90, CMBufferQueue::Handlers::outputPTSSortedSampleBuffers());
}

}  // namespace

TEST(TypedBlockQueueTests, HandsOutTheNewestDueFrameAndDropsTheOlderOnes) {
  auto queue = makeQueue();
  const auto second = frameAt(0.033);
  const auto third = frameAt(0.066);
  queue.enqueue(third);
  queue.enqueue(frameAt(0.0));
  queue.enqueue(second);

  EXPECT_EQ(queue.dequeue(CMTime::makeWithSeconds(0.05, 1000)), second);
  EXPECT_EQ(queue.head(), third);
  EXPECT_EQ(queue.dequeue(CMTime::makeWithSeconds(0.01, 1000)), nullptr);
  EXPECT_EQ(queue.head(), third);
  // A frame exactly at the time is due.
  EXPECT_EQ(queue.dequeue(CMTime::make(66, 1000)), third);
  EXPECT_TRUE(queue.isEmpty());
  EXPECT_EQ(queue.dequeue(CMTime::make(1, 1)), nullptr);
}

TEST(TypedBlockQueueTests, PassesFramesOnWithoutCopyingThem) {
  auto queue = makeQueue();
  const auto picture =
      platform::CVPixelBuffer::make(1280, 720, platform::kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange).value;
  const auto format = platform::CMFormatDescription::makeForImageBuffer(*picture).value;
  const auto frame = CMSampleBuffer::makeReadyWithImageBuffer(picture, format, {CMTime::make(1, 30), CMTime::zero,
                                                                                CMTime::invalid}).value;
  queue.enqueue(frame);
  const auto out = queue.dequeue(CMTime::zero);
  EXPECT_EQ(out, frame);
  EXPECT_EQ(out->imageBuffer()->baseAddress(), picture->baseAddress());
}

TEST(TypedBlockQueueTests, ReportsAFullQueueToTheCaller) {
  TypedBlockQueue<CMSampleBuffer> queue(1, CMBufferQueue::Handlers::outputPTSSortedSampleBuffers());
  EXPECT_EQ(queue.capacity(), 1u);
  queue.enqueue(frameAt(0));
  EXPECT_THROW(queue.enqueue(frameAt(1)), platform::OSStatusError);
  queue.reset();
  EXPECT_TRUE(queue.isEmpty());
}
