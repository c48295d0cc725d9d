#include <gtest/gtest.h>

#include "Platform/AVFoundation/AVSampleBufferDisplayLayer.hpp"

namespace platform {
namespace {

std::shared_ptr<CVPixelBuffer> picture() { return CVPixelBuffer::make(2, 2, kCVPixelFormatType_32ARGB).value; }

CMSampleBuffer frame(const std::shared_ptr<CVPixelBuffer>& image, CMTime time) {
  auto format = CMFormatDescription::makeForImageBuffer(*image).value;
  return *CMSampleBuffer::makeReadyWithImageBuffer(image, format, {CMTime::make(1, 30), time, CMTime::invalid}).value;
}

CMSampleBuffer frame(const std::shared_ptr<CVPixelBuffer>& image, double seconds) {
  return frame(image, CMTime::makeWithSeconds(seconds, 1000000000));
}

TEST(AVSampleBufferDisplayLayerTest, ShowsEachFrameWhenItsTimeComesOnTheFirstFramesLine) {
  AVSampleBufferDisplayLayer layer;
  const auto first = picture(), second = picture(), third = picture();
  EXPECT_EQ(layer.displayedImage(100), nullptr);
  // Presentation time 5 s arrives at host time 100 s: 5.1 s is due at 100.1 s.
  layer.enqueueSampleBuffer(frame(first, 5.0), 100);
  layer.enqueueSampleBuffer(frame(second, 5.1), 100.01);
  layer.enqueueSampleBuffer(frame(third, 5.2), 100.02);
  EXPECT_EQ(layer.displayedImage(100), first);
  EXPECT_EQ(layer.displayedImage(100.0999), first);
  EXPECT_EQ(layer.displayedImage(100.1), second);
  // Late: the newest due frame, the older due ones dropped.
  layer.flush();
  layer.enqueueSampleBuffer(frame(first, 5.0), 200);
  layer.enqueueSampleBuffer(frame(second, 5.1), 200);
  layer.enqueueSampleBuffer(frame(third, 5.2), 200);
  EXPECT_EQ(layer.displayedImage(300), third);
  EXPECT_EQ(layer.queuedFrames(), 0u);
}

TEST(AVSampleBufferDisplayLayerTest, TimeGoingBackwardsStartsANewLine) {
  AVSampleBufferDisplayLayer layer;
  const auto old = picture(), restarted = picture();
  layer.enqueueSampleBuffer(frame(picture(), 50.0), 10);
  layer.enqueueSampleBuffer(frame(old, 51.0), 10);  // due at 11 on the old line
  layer.enqueueSampleBuffer(frame(restarted, 0.0), 10.5);
  EXPECT_EQ(layer.queuedFrames(), 1u);
  EXPECT_EQ(layer.displayedImage(10.5), restarted);
  EXPECT_EQ(layer.displayedImage(20), restarted);
}

TEST(AVSampleBufferDisplayLayerTest, FramesWithoutTimeShowAtOnceAndWithoutPictureAreIgnored) {
  AVSampleBufferDisplayLayer layer;
  const auto untimed = picture();
  layer.enqueueSampleBuffer(frame(untimed, CMTime::invalid), 7);
  auto format = CMFormatDescription::makeForImageBuffer(*picture()).value;
  layer.enqueueSampleBuffer(*CMSampleBuffer::make(nullptr, false, format, 0, {}, {}).value, 7);
  EXPECT_EQ(layer.queuedFrames(), 1u);
  EXPECT_EQ(layer.displayedImage(6.9), nullptr);
  EXPECT_EQ(layer.displayedImage(7), untimed);
  layer.flush();
  EXPECT_EQ(layer.displayedImage(8), nullptr);
}

TEST(AVSampleBufferDisplayLayerTest, KeepsABoundedQueueDroppingTheOldest) {
  AVSampleBufferDisplayLayer layer;
  std::vector<std::shared_ptr<CVPixelBuffer>> images;
  for (std::size_t index = 0; index <= AVSampleBufferDisplayLayer::maximumQueuedFrames; ++index) {
    images.push_back(picture());
    layer.enqueueSampleBuffer(frame(images.back(), static_cast<double>(index)), 0);
  }
  EXPECT_EQ(layer.queuedFrames(), AVSampleBufferDisplayLayer::maximumQueuedFrames);
  // The first frame was dropped: the second one is the earliest shown.
  EXPECT_EQ(layer.displayedImage(0.5), nullptr);
  EXPECT_EQ(layer.displayedImage(1), images[1]);
}

}  // namespace
}  // namespace platform
