#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>

#include "Fluvio/Sources/Stream/DisplayLinkChoreographer.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/QuartzCore/ManualDisplayTickSource.hpp"

namespace fluvio {
namespace {

using std::chrono::milliseconds;

constexpr double kFrame60 = 16'666'667 / 1e9;

class DisplayLinkChoreographerTest : public ::testing::Test {
 protected:
  static std::optional<DisplayLinkTime> next(const DisplayLinkChoreographer::UpdateFrames& frames) {
    return platform::blockOn(frames.next());
  }

  std::shared_ptr<platform::ManualDisplayTickSource> source = std::make_shared<platform::ManualDisplayTickSource>();
  std::shared_ptr<DisplayLinkChoreographer> choreographer = DisplayLinkChoreographer::make(source);
};

TEST_F(DisplayLinkChoreographerTest, YieldsEveryTickInOrderUntilStopped) {
  const auto frames = choreographer->updateFrames();
  choreographer->startRunning();
  choreographer->startRunning();
  EXPECT_TRUE(choreographer->isRunning());
  EXPECT_EQ(source->subscriberCount(), 1u);  // one display link

  source->advance(milliseconds(50));
  choreographer->stopRunning();
  EXPECT_FALSE(choreographer->isRunning());
  EXPECT_EQ(source->subscriberCount(), 0u);

  for (int i = 1; i <= 2; ++i) {
    const auto time = next(frames);
    ASSERT_TRUE(time);
    EXPECT_NEAR(time->timestamp, i * kFrame60, 1e-9);
    EXPECT_NEAR(time->targetTimestamp, (i + 1) * kFrame60, 1e-9);
  }
  EXPECT_FALSE(next(frames));  // the consumer's loop ends
  choreographer->stopRunning();
}

TEST_F(DisplayLinkChoreographerTest, TicksWithoutASequenceAreDropped) {
  choreographer->startRunning();
  source->tick();
  const auto frames = choreographer->updateFrames();
  source->tick();
  choreographer->stopRunning();

  const auto time = next(frames);
  ASSERT_TRUE(time);
  EXPECT_NEAR(time->timestamp, 2 * kFrame60, 1e-9);
  EXPECT_FALSE(next(frames));
}

TEST_F(DisplayLinkChoreographerTest, ReadingTheSequenceAgainFinishesTheOneBefore) {
  const auto first = choreographer->updateFrames();
  choreographer->startRunning();
  source->tick();
  const auto second = choreographer->updateFrames();
  source->tick();

  EXPECT_TRUE(next(first));
  EXPECT_FALSE(next(first));
  const auto time = next(second);
  ASSERT_TRUE(time);
  EXPECT_NEAR(time->timestamp, 2 * kFrame60, 1e-9);
}

TEST_F(DisplayLinkChoreographerTest, RateChangeReachesTheRunningLink) {
  choreographer->setPreferredFramesPerSecond(30);
  const auto frames = choreographer->updateFrames();
  choreographer->startRunning();
  source->tick();
  choreographer->setPreferredFramesPerSecond(0);
  EXPECT_EQ(choreographer->preferredFramesPerSecond(), 0);
  source->tick();

  const auto first = next(frames);
  const auto second = next(frames);
  ASSERT_TRUE(first && second);
  EXPECT_NEAR(first->targetTimestamp - first->timestamp, 33'333'333 / 1e9, 1e-12);
  EXPECT_NEAR(second->timestamp - first->timestamp, kFrame60, 1e-9);
  EXPECT_NEAR(second->targetTimestamp - second->timestamp, kFrame60, 1e-12);
}

TEST_F(DisplayLinkChoreographerTest, RestartNeedsANewSequenceAndUsesANewLink) {
  const auto first = choreographer->updateFrames();
  choreographer->startRunning();
  choreographer->stopRunning();
  EXPECT_FALSE(next(first));

  choreographer->startRunning();
  source->tick();
  const auto second = choreographer->updateFrames();
  source->tick();
  EXPECT_EQ(source->subscriberCount(), 1u);
  EXPECT_TRUE(next(second));
}

TEST_F(DisplayLinkChoreographerTest, ReleasingARunningChoreographerEndsItsLinkAndSequence) {
  const auto frames = choreographer->updateFrames();
  choreographer->startRunning();
  choreographer.reset();
  EXPECT_EQ(source->subscriberCount(), 0u);
  EXPECT_FALSE(next(frames));
}

}  // namespace
}  // namespace fluvio
