#include <gtest/gtest.h>

#include <cmath>

#include "Platform/AVFoundation/AVCaptureDevice.hpp"

namespace platform {
namespace {

std::shared_ptr<const CMFormatDescription> videoDescription() {
  return CMFormatDescription::makeVideo(fourCC("420v"), {1280, 720}).value;
}

TEST(AVCaptureDeviceTests, FrameRateRangesMustBeOrderedAndFinite) {
  EXPECT_TRUE(AVFrameRateRange::make(30, 30));
  EXPECT_TRUE(AVFrameRateRange::make(1, 60));
  EXPECT_FALSE(AVFrameRateRange::make(60, 1));
  EXPECT_FALSE(AVFrameRateRange::make(-1, 30));
  EXPECT_FALSE(AVFrameRateRange::make(1, INFINITY));
  EXPECT_FALSE(AVFrameRateRange::make(NAN, 30));
}

TEST(AVCaptureDeviceTests, FormatsNeedVideoAndPresentRanges) {
  const auto format = AVCaptureDevice::Format::make(videoDescription(), {AVFrameRateRange::make(1, 30)}, true);
  ASSERT_TRUE(format);
  EXPECT_EQ(format->formatDescription()->dimensions(), (CMVideoDimensions{1280, 720}));
  EXPECT_TRUE(format->isMultiCamSupported());

  AudioStreamBasicDescription aac;
  aac.mSampleRate = 48000;
  aac.mFormatID = kAudioFormatMPEG4AAC;
  aac.mChannelsPerFrame = 2;
  EXPECT_FALSE(AVCaptureDevice::Format::make(CMFormatDescription::makeAudio(aac).value, {}, false));
  EXPECT_FALSE(AVCaptureDevice::Format::make(nullptr, {}, false));
  EXPECT_FALSE(AVCaptureDevice::Format::make(videoDescription(), {AVFrameRateRange::make(60, 1)}, false));

  const auto device = AVCaptureDevice::make({format, nullptr, format});
  EXPECT_EQ(device->formats().size(), 2u);
}

}  // namespace
}  // namespace platform
