#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "Platform/QuartzCore/CADisplayLink.hpp"
#include "Platform/QuartzCore/ManualDisplayTickSource.hpp"

namespace platform {
namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

constexpr std::uint64_t kFrame60 = 16'666'667;

struct Frame {
  double timestamp;
  double targetTimestamp;
  double duration;
};

class CADisplayLinkTest : public ::testing::Test {
 protected:
  std::shared_ptr<CADisplayLink> makeLink() {
    return CADisplayLink::make(
        [this](CADisplayLink& link) { frames.push_back({link.timestamp(), link.targetTimestamp(), link.duration()}); },
        source);
  }

  std::shared_ptr<ManualDisplayTickSource> source = std::make_shared<ManualDisplayTickSource>();
  std::vector<Frame> frames;
};

TEST_F(CADisplayLinkTest, DeliversNothingUntilAddedToTheRunLoop) {
  const auto link = makeLink();
  source->advance(milliseconds(100));
  EXPECT_TRUE(frames.empty());
  EXPECT_EQ(link->timestamp(), 0.0);
  EXPECT_EQ(link->targetTimestamp(), 0.0);
}

TEST_F(CADisplayLinkTest, TicksAtTheDefaultRateWithTheFrameTimes) {
  const auto link = makeLink();
  link->addToRunLoop();
  link->addToRunLoop();  // once is enough
  EXPECT_EQ(source->subscriberCount(), 1u);

  source->advance(milliseconds(100));
  ASSERT_EQ(frames.size(), 5u);  // the sixth frame falls at 100.000002 ms
  for (std::size_t i = 0; i < frames.size(); ++i) {
    EXPECT_DOUBLE_EQ(frames[i].timestamp, (i + 1) * kFrame60 / 1e9);
    EXPECT_DOUBLE_EQ(frames[i].targetTimestamp, (i + 2) * kFrame60 / 1e9);
    EXPECT_DOUBLE_EQ(frames[i].duration, kFrame60 / 1e9);
  }
}

TEST_F(CADisplayLinkTest, PreferredRateIsClampedToWhatADisplayCanShow) {
  const auto link = makeLink();
  const auto period = [&] { return link->duration(); };

  link->setPreferredFramesPerSecond(30);
  EXPECT_DOUBLE_EQ(period(), 33'333'333 / 1e9);
  link->setPreferredFramesPerSecond(-5);
  EXPECT_DOUBLE_EQ(period(), kFrame60 / 1e9);
  link->setPreferredFramesPerSecond(1'000'000);
  EXPECT_DOUBLE_EQ(period(), 8'333'333 / 1e9);
  EXPECT_EQ(link->preferredFramesPerSecond(), 1'000'000);  // kept as asked
}

TEST_F(CADisplayLinkTest, RateChangeReachesTheRunningLinkFromTheLastFrame) {
  const auto link = makeLink();
  link->setPreferredFramesPerSecond(30);
  link->addToRunLoop();
  source->tick();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_DOUBLE_EQ(frames[0].timestamp, 33'333'333 / 1e9);

  link->setPreferredFramesPerSecond(60);
  source->tick();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_DOUBLE_EQ(frames[1].timestamp, (33'333'333 + kFrame60) / 1e9);
  EXPECT_DOUBLE_EQ(frames[1].targetTimestamp, (33'333'333 + 2 * kFrame60) / 1e9);
}

TEST_F(CADisplayLinkTest, PausedLinkSkipsFramesAndResumesOnTheDisplayClock) {
  const auto link = makeLink();
  link->addToRunLoop();
  link->setPaused(true);
  source->advance(milliseconds(50));
  EXPECT_TRUE(frames.empty());

  link->setPaused(false);
  source->tick();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_DOUBLE_EQ(frames[0].timestamp, 3 * kFrame60 / 1e9);  // two frames went by while paused
}

TEST_F(CADisplayLinkTest, InvalidateStopsForGood) {
  const auto link = makeLink();
  link->addToRunLoop();
  source->tick();
  link->invalidate();
  EXPECT_FALSE(link->isValid());
  EXPECT_EQ(source->subscriberCount(), 0u);

  link->addToRunLoop();
  source->advance(milliseconds(100));
  EXPECT_EQ(frames.size(), 1u);
}

TEST_F(CADisplayLinkTest, CallbackMayInvalidateItsOwnLink) {
  std::shared_ptr<CADisplayLink> link;
  int calls = 0;
  link = CADisplayLink::make(
      [&](CADisplayLink& self) {
        ++calls;
        self.invalidate();
      },
      source);
  link->addToRunLoop();
  source->advance(milliseconds(100));
  EXPECT_EQ(calls, 1);
}

TEST_F(CADisplayLinkTest, ReleasingTheLinkEndsItsSubscription) {
  makeLink()->addToRunLoop();
  EXPECT_EQ(source->subscriberCount(), 0u);
  source->advance(milliseconds(100));
  EXPECT_TRUE(frames.empty());
}

}  // namespace
}  // namespace platform
