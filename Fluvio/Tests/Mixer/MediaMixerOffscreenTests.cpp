// Offscreen mode: the display link drives the screen, whose frames reach the
// mixed-video outputs, on a clock the test moves by hand.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <thread>

#include "Fluvio/Sources/Mixer/MediaMixer.hpp"
#include "Fluvio/Sources/Screen/ScreenActor.hpp"
#include "Fluvio/Tests/Mixer/CountingOutput.hpp"
#include "Platform/AVFoundation/SyntheticCameraSource.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Tests/Support/Eventually.hpp"
#include "Platform/QuartzCore/ManualDisplayTickSource.hpp"

namespace fluvio {
namespace {

using namespace std::chrono_literals;
using platform::blockOn;
using testing::CountingOutput;

constexpr auto kShort = 300ms;
// One period of 30 frames per second, and a nanosecond for rounding.
constexpr std::chrono::nanoseconds kOneFrame = std::chrono::nanoseconds(1s) / 30 + 1ns;

class MediaMixerOffscreen : public ::testing::Test {
 protected:
  void SetUp() override {
    blockOn(mixer->addOutput(mixed));
    blockOn(mixer->addOutput(raw));
  }
  void TearDown() override { blockOn(mixer->stopRunning()); }

  // Lets ScreenActor run what the mixer handed it so far.
  static void settle() {
    ScreenActor::shared().run([] {});
  }
  // The display-link loop subscribes on ScreenActor after the mixer asked it
  // to, which it does not announce: the count is read until it holds.
  bool waitForSubscribers(std::size_t count) {
    return platform::testing::eventually([&] {
      settle();
      return ticks->subscriberCount() == count;
    });
  }
  void setMode(VideoMixerSettings::Mode mode) {
    blockOn(mixer->setVideoMixerSettings(VideoMixerSettings(mode, false, 0)));
    settle();
  }

  std::shared_ptr<platform::ManualDisplayTickSource> ticks = std::make_shared<platform::ManualDisplayTickSource>(1'000'000'000);
  std::shared_ptr<MediaMixer> mixer = MediaMixer::make(MediaMixer::CaptureSessionMode::manual, false, ticks);
  std::shared_ptr<CountingOutput> mixed = std::make_shared<CountingOutput>(MediaMixer::mixedTrack, std::nullopt);
  std::shared_ptr<CountingOutput> raw = std::make_shared<CountingOutput>(0, std::nullopt);
};

// One composed frame per tick at the mixer's rate, none before the first
// tick or after switching back to passthrough, where the main track's own
// frames are the mixed video again.
TEST_F(MediaMixerOffscreen, DisplayLinkTicksBecomeScreenFrames) {
  setMode(VideoMixerSettings::Mode::offscreen);
  // Not running: the mode waits for the start.
  EXPECT_EQ(ticks->subscriberCount(), 0u);
  blockOn(mixer->startRunning());
  ASSERT_TRUE(waitForSubscribers(1));
  blockOn(mixer->append(testing::frame(1, 1), 0));
  ASSERT_TRUE(raw->waitFor(1, 0));
  EXPECT_FALSE(mixed->waitFor(1, 0, kShort));

  ticks->advance(1s);
  ASSERT_TRUE(mixed->waitFor(30, 0));
  EXPECT_FALSE(mixed->waitFor(31, 0, kShort));
  const auto screenFrame = mixed->frames().back();
  EXPECT_EQ(screenFrame.imageBuffer()->width(), 1280u);
  EXPECT_EQ(screenFrame.imageBuffer()->height(), 720u);
  // Presentation times follow the ticks, 1/30 s apart.
  const auto frames = mixed->frames();
  EXPECT_NEAR((frames[1].presentationTimeStamp() - frames[0].presentationTimeStamp()).seconds(), 1.0 / 30, 1e-6);

  blockOn(mixer->setFrameRate(15));
  settle();
  ticks->advance(1s);
  ASSERT_TRUE(mixed->waitFor(45, 0));
  EXPECT_FALSE(mixed->waitFor(46, 0, kShort));
  EXPECT_THROW(blockOn(mixer->setFrameRate(std::nan(""))), VideoDeviceUnit::Error);
  EXPECT_EQ(blockOn(mixer->frameRate()), 15.0);

  setMode(VideoMixerSettings::Mode::passthrough);
  ASSERT_TRUE(waitForSubscribers(0));
  ticks->advance(1s);
  blockOn(mixer->append(testing::frame(3, 1), 0));
  ASSERT_TRUE(mixed->waitFor(46, 0));
  EXPECT_EQ(mixed->frames().back().imageBuffer()->width(), 64u);
  EXPECT_EQ(raw->frames().size(), 2u);

  // Back to offscreen while running starts a loop again; stopping ends it.
  setMode(VideoMixerSettings::Mode::offscreen);
  ASSERT_TRUE(waitForSubscribers(1));
  blockOn(mixer->stopRunning());
  EXPECT_EQ(ticks->subscriberCount(), 0u);
}

// A white frame stamped at `time` nanoseconds of the host clock.
platform::CMSampleBuffer whiteFrame(std::uint64_t time) {
  auto sample = testing::frame(static_cast<std::int64_t>(time), 1'000'000'000);
  auto& picture = *sample.imageBuffer();
  picture.lockBaseAddress(0);
  std::memset(picture.baseAddress(), 255, picture.bytesPerRow() * picture.height());
  picture.unlockBaseAddress(0);
  return sample;
}

std::uint8_t centreLevel(const platform::CMSampleBuffer& sample) {
  auto& picture = *sample.imageBuffer();
  picture.lockBaseAddress(platform::kCVPixelBufferLock_ReadOnly);
  const auto level = picture.baseAddress()[picture.height() / 2 * picture.bytesPerRow() + picture.width() / 2 * 4 + 1];
  picture.unlockBaseAddress(platform::kCVPixelBufferLock_ReadOnly);
  return level;
}

// Frames go to the screen objects that show their track: the main video
// track follows the settings' main track, so a frame of track 0 leaves the
// screen dark and one of track 1 shows.
TEST_F(MediaMixerOffscreen, TrackFramesReachTheirScreenObjects) {
  blockOn(mixer->setVideoMixerSettings(VideoMixerSettings(VideoMixerSettings::Mode::offscreen, false, 1)));
  settle();
  EXPECT_EQ(ScreenActor::shared().run([&] { return mixer->screen()->videoTrackScreenObject()->track(); }), 1);
  blockOn(mixer->startRunning());
  ASSERT_TRUE(waitForSubscribers(1));
  ticks->advance(kOneFrame);
  ASSERT_TRUE(mixed->waitFor(1, 0));
  EXPECT_EQ(centreLevel(mixed->frames().back()), 0);

  blockOn(mixer->append(whiteFrame(ticks->now()), 0));
  ASSERT_TRUE(raw->waitFor(1, 0));
  settle();
  ticks->advance(kOneFrame);
  ASSERT_TRUE(mixed->waitFor(2, 0));
  EXPECT_EQ(centreLevel(mixed->frames().back()), 0);

  blockOn(mixer->append(whiteFrame(ticks->now()), 1));
  blockOn(mixer->append(whiteFrame(ticks->now()), 0));
  ASSERT_TRUE(raw->waitFor(2, 0));
  settle();
  // The main track's frame sets the capture latency, a frame's worth rounded
  // up: the next tick's time would lie before the last frame's, so its frame
  // keeps the last time rather than being lost; the one after shows the frame.
  ticks->advance(kOneFrame);
  ASSERT_TRUE(mixed->waitFor(3, 0));
  ticks->advance(kOneFrame);
  ASSERT_TRUE(mixed->waitFor(4, 0));
  const auto frames = mixed->frames();
  EXPECT_EQ(frames[2].presentationTimeStamp(), frames[1].presentationTimeStamp());
  EXPECT_GT(frames[3].presentationTimeStamp(), frames[2].presentationTimeStamp());
  EXPECT_GT(centreLevel(frames[3]), 200);
}

// A stop forgets what the screen showed and held: after a new start neither
// the frame last shown nor one queued for later comes back.
TEST_F(MediaMixerOffscreen, AStopThenANewStartShowsNoOldFrame) {
  setMode(VideoMixerSettings::Mode::offscreen);
  blockOn(mixer->startRunning());
  ASSERT_TRUE(waitForSubscribers(1));
  ticks->advance(kOneFrame);
  ASSERT_TRUE(mixed->waitFor(1, 0));
  // The last main-track frame sets the latency: ten frames, so the earlier
  // frame is due at once and the later one within the ticks below.
  const auto tenFrames = 10 * std::uint64_t(kOneFrame.count());
  blockOn(mixer->append(whiteFrame(ticks->now() + tenFrames / 2), 0));
  blockOn(mixer->append(whiteFrame(ticks->now() - tenFrames), 0));
  ASSERT_TRUE(raw->waitFor(2, 0));
  settle();
  ticks->advance(kOneFrame);
  ASSERT_TRUE(mixed->waitFor(2, 0));
  ASSERT_GT(centreLevel(mixed->frames().back()), 200) << "the earlier white frame on show";

  blockOn(mixer->stopRunning());
  blockOn(mixer->startRunning());
  ASSERT_TRUE(waitForSubscribers(1));
  ticks->advance(20 * kOneFrame);
  ASSERT_TRUE(mixed->waitFor(22, 0));
  const auto frames = mixed->frames();
  for (std::size_t n = 2; n < frames.size(); ++n) EXPECT_EQ(centreLevel(frames[n]), 0) << "frame " << n;

  blockOn(mixer->append(whiteFrame(ticks->now() - tenFrames), 0));
  ASSERT_TRUE(raw->waitFor(3, 0));
  settle();
  ticks->advance(2 * kOneFrame);
  ASSERT_TRUE(mixed->waitFor(24, 0));
  EXPECT_GT(centreLevel(mixed->frames().back()), 200) << "a new frame shows";
}

// The mode is stored and reaches the screen even when no camera can take it.
TEST_F(MediaMixerOffscreen, DynamicRangeReachesTheScreen) {
  blockOn(mixer->setDynamicRangeMode(DynamicRangeMode::hdr));
  settle();
  EXPECT_EQ(blockOn(mixer->dynamicRangeMode()), DynamicRangeMode::hdr);
  EXPECT_EQ(ScreenActor::shared().run([&] { return mixer->screen()->dynamicRangeMode(); }), DynamicRangeMode::hdr);
}

}  // namespace
}  // namespace fluvio
