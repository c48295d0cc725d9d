#include <gtest/gtest.h>

#include "Fluvio/Sources/Util/FluvioLogger.hpp"
#include "Fluvio/Sources/Util/FrameTracker.hpp"

using fluvio::FrameTracker;
using platform::CMTime;

TEST(FrameTrackerTests, CountsTheFramesOfEachOneSecondWindow) {
  FrameTracker tracker;
  tracker.update(CMTime::zero);
  for (int frame = 1; frame < 30; ++frame) {
    tracker.update(CMTime::make(frame, 30));
    EXPECT_EQ(tracker.frameRate, 0) << "window closed early at frame " << frame;
  }
  tracker.update(CMTime::make(30, 30));
  EXPECT_EQ(tracker.frameRate, 31);  // the frames at 0 to 1 s, both ends included
  EXPECT_EQ(tracker.count, 0);
  EXPECT_EQ(tracker.rotated, CMTime::make(1, 1));

  for (int frame = 31; frame <= 60; ++frame) tracker.update(CMTime::make(frame, 30));
  EXPECT_EQ(tracker.frameRate, 30);
  EXPECT_EQ(tracker.rotated, CMTime::make(2, 1));
}

TEST(FrameTrackerTests, ClockBasedTimesCloseTheFirstWindowAtOnce) {
  FrameTracker tracker;
  const CMTime start = CMTime::make(5000, 1000);
  tracker.update(start);
  EXPECT_EQ(tracker.frameRate, 1);
  EXPECT_EQ(tracker.rotated, start);
  for (int frame = 1; frame < 30; ++frame) tracker.update(start + CMTime::make(frame, 30));
  EXPECT_EQ(tracker.frameRate, 1);
  tracker.update(start + CMTime::make(1, 1));
  EXPECT_EQ(tracker.frameRate, 30);
}

TEST(FrameTrackerTests, AnInvalidTimeIsCountedButClosesNoWindow) {
  FrameTracker tracker;
  tracker.update(CMTime::invalid);
  EXPECT_EQ(tracker.count, 1);
  EXPECT_EQ(tracker.rotated, CMTime::zero);
}

TEST(FluvioLoggerTests, IsTheRegisteredModuleLogger) {
  EXPECT_EQ(&fluvio::logger(), tracepost::TPLogger::with("com.fluvio.Fluvio").get());
  EXPECT_EQ(fluvio::logger().identifier(), fluvio::kFluvioIdentifier);
}
