#include <gtest/gtest.h>

#include <vector>

#include "Fluvio/Sources/Extension/AVCaptureDeviceExtension.hpp"

namespace fluvio {
namespace {

using platform::AVCaptureDevice;
using platform::AVFrameRateRange;
using Format = AVCaptureDevice::Format;
using Ranges = std::vector<std::shared_ptr<AVFrameRateRange>>;

std::shared_ptr<Format> format(std::int32_t width, std::int32_t height,
                               Ranges ranges, bool isMultiCamSupported = false) {
  auto description = platform::CMFormatDescription::makeVideo(platform::fourCC("420v"), {width, height});
  return Format::make(description.value, std::move(ranges), isMultiCamSupported);
}

std::shared_ptr<Format> format(std::int32_t width, std::int32_t height, bool isMultiCamSupported = false) {
  return format(width, height, {AVFrameRateRange::make(1, 30)}, isMultiCamSupported);
}

TEST(AVCaptureDeviceExtensionTests, FrameRateIsSupportedByAnyRangeThatHoldsIt) {
  EXPECT_TRUE(isFrameRateSupported(*format(640, 480, {AVFrameRateRange::make(1, 30)}), 30));
  EXPECT_TRUE(isFrameRateSupported(*format(640, 480, {AVFrameRateRange::make(1, 30)}), 1));
  EXPECT_FALSE(isFrameRateSupported(*format(640, 480, {AVFrameRateRange::make(1, 30)}), 30.5));
  // A later range counts as much as the first.
  const auto twoRanges = format(640, 480, {AVFrameRateRange::make(1, 30), AVFrameRateRange::make(60, 60)});
  EXPECT_TRUE(isFrameRateSupported(*twoRanges, 60));
  EXPECT_FALSE(isFrameRateSupported(*twoRanges, 45));
  const auto variableLater = format(640, 480, {AVFrameRateRange::make(24, 24), AVFrameRateRange::make(50, 120)});
  EXPECT_TRUE(isFrameRateSupported(*variableLater, 100));
  EXPECT_TRUE(isFrameRateSupported(*variableLater, 24));
  EXPECT_FALSE(isFrameRateSupported(*format(640, 480, Ranges{}), 30));
}

TEST(AVCaptureDeviceExtensionTests, FixedRatesMatchWithinOneHundredth) {
  const auto ntsc = format(1920, 1080, {AVFrameRateRange::make(29.97, 29.97), AVFrameRateRange::make(59.94, 59.94)});
  EXPECT_TRUE(isFrameRateSupported(*ntsc, 29.97));
  EXPECT_TRUE(isFrameRateSupported(*ntsc, 29.975));
  EXPECT_TRUE(isFrameRateSupported(*ntsc, 59.94));
  EXPECT_FALSE(isFrameRateSupported(*ntsc, 30));
  EXPECT_FALSE(isFrameRateSupported(*ntsc, 45));
}

TEST(AVCaptureDeviceExtensionTests, FindsTheFirstLargeEnoughFormatElseTheLastSmallerOne) {
  const auto vga = format(640, 480);
  const auto hd = format(1280, 720);
  const auto fullHD = format(1920, 1080);
  const auto device = AVCaptureDevice::make({vga, hd, fullHD});
  EXPECT_EQ(findVideoFormat(*device, 1000, 600, 30, false), hd);
  EXPECT_EQ(findVideoFormat(*device, 1280, 720, 30, false), hd);
  EXPECT_EQ(findVideoFormat(*device, 4000, 3000, 30, false), fullHD);
  EXPECT_EQ(findVideoFormat(*device, 100, 100, 30, false), vga);
  EXPECT_EQ(findVideoFormat(*device, 1000, 600, 60, false), nullptr);
}

TEST(AVCaptureDeviceExtensionTests, NeverChoosesAFormatLargerInOnlyOneDimension) {
  const auto device = AVCaptureDevice::make({format(640, 480), format(1920, 360)});
  EXPECT_EQ(findVideoFormat(*device, 800, 400, 30, false), nullptr);
  EXPECT_EQ(findVideoFormat(*AVCaptureDevice::make({}), 800, 400, 30, false), nullptr);
}

TEST(AVCaptureDeviceExtensionTests, SkipsFormatsThatCannotRunTheRateOrAlongsideOtherCameras) {
  const auto slowHD = format(1280, 720, {AVFrameRateRange::make(1, 24)});
  const auto singleCamHD = format(1280, 720);
  const auto multiCamFullHD = format(1920, 1080, true);
  const auto multiCamVGA = format(640, 480, true);
  const auto device = AVCaptureDevice::make({multiCamVGA, slowHD, singleCamHD, multiCamFullHD});
  EXPECT_EQ(findVideoFormat(*device, 1280, 720, 30, false), singleCamHD);
  EXPECT_EQ(findVideoFormat(*device, 1280, 720, 30, true), multiCamFullHD);
  EXPECT_EQ(findVideoFormat(*device, 4000, 3000, 30, true), multiCamFullHD);
  EXPECT_EQ(findVideoFormat(*device, 1280, 720, 24, false), slowHD);
}

}  // namespace
}  // namespace fluvio
