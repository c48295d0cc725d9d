#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "Fluvio/Sources/Screen/Screen.hpp"
#include "Fluvio/Tests/Screen/ScreenTestSupport.hpp"

using namespace fluvio;
using namespace fluvio::testing;
using platform::CMTime;

TEST_ON_SCREEN_ACTOR(ScreenTests, FrameTimesNeverMoveBackwards) {
  auto screen = Screen::make();
  EXPECT_EQ(screen->childCounts(), 1u);
  auto first = screen->makeSampleBuffer({10.0, 10.033});
  ASSERT_TRUE(first);
  EXPECT_EQ(first->presentationTimeStamp(), CMTime::make(10'000'000'000, 1000000000));
  EXPECT_EQ(first->duration().seconds(), 0.033);
  auto same = screen->makeSampleBuffer({10.0, 10.05});
  ASSERT_TRUE(same) << "an equal time is not earlier";
  EXPECT_EQ(same->presentationTimeStamp(), first->presentationTimeStamp());
  EXPECT_FALSE(screen->makeSampleBuffer({9.999, 10.2}));
  EXPECT_EQ(screen->targetTimestamp(), 10.2) << "kept up to date without a frame";
  EXPECT_EQ(screen->presentationTimeStamp(), first->presentationTimeStamp());
  EXPECT_TRUE(screen->makeSampleBuffer({10.001, 10.034}));
}

TEST_ON_SCREEN_ACTOR(ScreenTests, CaptureLatencyRoundsUpToATenthOfAMillisecondOnceTicksArrive) {
  auto screen = Screen::make();
  screen->setVideoCaptureLatency(CMTime::make(10, 1));
  EXPECT_EQ(screen->videoCaptureLatency(), 0) << "before the first tick";
  screen->makeSampleBuffer({9.9, 10.00004});
  screen->setVideoCaptureLatency(CMTime::make(10, 1));
  EXPECT_DOUBLE_EQ(screen->videoCaptureLatency(), 0.0001);
  screen->setVideoCaptureLatency(CMTime::make(10'000'100, 1'000'000));
  EXPECT_DOUBLE_EQ(screen->videoCaptureLatency(), -0.0000);  // -0.00006 rounds up to 0
}

// A grown latency never costs a frame: a frame whose time would lie before
// the last one's takes the last one's time, and later ticks follow the new
// latency. A tick older than the last frame's still makes none.
TEST_ON_SCREEN_ACTOR(ScreenTests, AGrownCaptureLatencyHoldsTheTimeInsteadOfDroppingAFrame) {
  auto screen = Screen::make();
  auto first = screen->makeSampleBuffer({11.0, 11.03});
  ASSERT_TRUE(first);
  screen->setVideoCaptureLatency(CMTime::make(10, 1));
  EXPECT_DOUBLE_EQ(screen->videoCaptureLatency(), 1.03);
  auto held = screen->makeSampleBuffer({12.0, 12.03});
  ASSERT_TRUE(held) << "12.0 - 1.03 lies before the frame at 11.0";
  EXPECT_EQ(held->presentationTimeStamp(), first->presentationTimeStamp());
  EXPECT_NEAR(held->duration().seconds(), 0.03, 1e-9);
  auto next = screen->makeSampleBuffer({12.04, 12.07});
  ASSERT_TRUE(next);
  EXPECT_NEAR(next->presentationTimeStamp().seconds(), 12.04 - 1.03, 1e-9) << "just after 11.0: the new latency";
  EXPECT_FALSE(screen->makeSampleBuffer({12.039, 12.1})) << "an older tick";
  screen->setVideoCaptureLatency(CMTime::make(12'090'000'000, 1'000'000'000));
  EXPECT_DOUBLE_EQ(screen->videoCaptureLatency(), 0.01) << "shrunk: 12.1 - 12.09";
  auto later = screen->makeSampleBuffer({12.11, 12.14});
  ASSERT_TRUE(later);
  EXPECT_NEAR(later->presentationTimeStamp().seconds(), 12.11 - 0.01, 1e-9);
}

// Buffer sides are the size truncated toward zero, on either side of a
// whole number; both modes compose in half floats in their own colour space.
TEST_ON_SCREEN_ACTOR(DynamicRangeModeTests, AttributesTruncateSidesAndContextsWorkInHalfFloats) {
  struct Case {
    platform::CGSize size;
    std::int32_t width, height;
  } cases[] = {{{1280, 720}, 1280, 720},
               {{1280.9, 720.2}, 1280, 720},
               {{1279.999, 719.5}, 1279, 719},
               {{1281.0, 721.01}, 1281, 721}};
  for (const auto& c : cases) {
    for (const auto mode : {DynamicRangeMode::sdr, DynamicRangeMode::hdr}) {
      const auto attributes = makePixelBufferAttributes(mode, c.size);
      ASSERT_TRUE(attributes) << c.size.width;
      EXPECT_EQ(attributes->width, c.width) << c.size.width;
      EXPECT_EQ(attributes->height, c.height) << c.size.height;
      EXPECT_TRUE(attributes->metalCompatibility);
      EXPECT_EQ(attributes->pixelFormatType, mode == DynamicRangeMode::sdr
                                                 ? platform::kCVPixelFormatType_32ARGB
                                                 : platform::kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange);
    }
  }
  auto screen = Screen::make();
  ASSERT_TRUE(screen->setSize({1280.9, 720.2}));
  const auto frame = screen->makeSampleBuffer({1, 1.03});
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->imageBuffer()->width(), 1280u);
  EXPECT_EQ(frame->imageBuffer()->height(), 720u);

  for (const auto mode : {DynamicRangeMode::sdr, DynamicRangeMode::hdr}) {
    const auto options = contextOptions(mode);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->workingFormat, platform::CIFormat::RGBAh);
    EXPECT_EQ(options->workingColorSpace, colorSpace(mode));
    EXPECT_EQ(options->outputColorSpace, colorSpace(mode));
    EXPECT_EQ(colorSpace(mode), colorSpace(mode)) << "made once";
    EXPECT_EQ(makeCIContext(mode)->options().workingFormat, platform::CIFormat::RGBAh);
  }
  EXPECT_NE(colorSpace(DynamicRangeMode::sdr), colorSpace(DynamicRangeMode::hdr));
}

TEST_ON_SCREEN_ACTOR(ScreenTests, RefusesSizesThatAreNotFiniteOrNotPositive) {
  auto screen = Screen::make();
  const auto pool = screen->pixelBufferPool();
  ASSERT_TRUE(pool);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double infinity = std::numeric_limits<double>::infinity();
  for (platform::CGSize size : {platform::CGSize{0, 720}, {1280, -1}, {nan, 720}, {1280, infinity}, {16385, 720}}) {
    EXPECT_FALSE(screen->setSize(size));
    EXPECT_EQ(screen->pixelBufferPool(), pool);
  }
  EXPECT_TRUE(screen->setSize({1280, 720}));
  EXPECT_EQ(screen->pixelBufferPool(), pool) << "an unchanged size keeps the pool";
  EXPECT_TRUE(screen->setSize({1.9, 16384}));
  auto frame = screen->makeSampleBuffer({1, 1.03});
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->imageBuffer()->width(), 1u);
  EXPECT_EQ(frame->imageBuffer()->height(), 16384u);
}

TEST_ON_SCREEN_ACTOR(ScreenTests, HighDynamicRangeFramesAreClearedToTheBackground) {
  auto screen = Screen::make();
  screen->setSize({64, 32});
  screen->setBackgroundColor(platform::CGColor::white());
  screen->setDynamicRangeMode(DynamicRangeMode::hdr);
  for (int round = 0; round < 3; ++round) {  // pooled buffers come back dirty
    auto frame = screen->makeSampleBuffer({1.0 + round, 1.03 + round});
    ASSERT_TRUE(frame);
    const auto& buffer = *frame->imageBuffer();
    ASSERT_EQ(buffer.pixelFormatType(), platform::kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange);
    const auto* luma = reinterpret_cast<const std::uint16_t*>(buffer.baseAddressOfPlane(0));
    EXPECT_NEAR(luma[0] >> 6, 940, 2);  // white at 10-bit video range
    EXPECT_NEAR(luma[64 * 32 / 2 + 5] >> 6, 940, 2);
    std::memset(buffer.baseAddressOfPlane(0), 0x55, buffer.bytesPerRowOfPlane(0) * 32);
  }
  screen->setBackgroundColor(platform::CGColor::black());
  auto frame = screen->makeSampleBuffer({9.0, 9.03});
  EXPECT_NEAR(reinterpret_cast<const std::uint16_t*>(frame->imageBuffer()->baseAddressOfPlane(0))[7] >> 6, 64, 2);

  // Objects are drawn too: a white picture at the top-left of the black screen.
  auto image = ImageScreenObject::make();
  image->setCGImage(solidImage(16, 8, {255, 255, 255, 255}));
  screen->addChild(image);
  frame = screen->makeSampleBuffer({10.0, 10.03});
  ASSERT_TRUE(frame);
  const auto* luma = reinterpret_cast<const std::uint16_t*>(frame->imageBuffer()->baseAddressOfPlane(0));
  const std::size_t lumaRow = frame->imageBuffer()->bytesPerRowOfPlane(0) / 2;
  EXPECT_NEAR(luma[4 * lumaRow + 8] >> 6, 940, 2);
  EXPECT_NEAR(luma[4 * lumaRow + 24] >> 6, 64, 2);
  EXPECT_NEAR(luma[12 * lumaRow + 8] >> 6, 64, 2);
}

TEST_ON_SCREEN_ACTOR(ScreenTests, RendererHandOverKeepsBoundsBackgroundAndClock) {
  auto screen = Screen::make();
  screen->setSize({320, 200});
  screen->setBackgroundColor(platform::CGColor::genericRGB(0, 1, 0, 1));
  screen->renderer().setSynchronizationClock(platform::CMClock::hostTimeClock());
  screen->setDynamicRangeMode(DynamicRangeMode::hdr);
  screen->setDynamicRangeMode(DynamicRangeMode::sdr);
  EXPECT_EQ(screen->renderer().bounds(), (platform::CGRect{{0, 0}, {320, 200}}));
  EXPECT_EQ(screen->renderer().backgroundColor(), platform::CGColor::genericRGB(0, 1, 0, 1));
  EXPECT_EQ(screen->renderer().synchronizationClock(), platform::CMClock::hostTimeClock());
  auto frame = screen->makeSampleBuffer({1, 1.03});
  EXPECT_EQ(pixel(*frame->imageBuffer(), 100, 100), (Argb{255, 0, 255, 0}));
}
