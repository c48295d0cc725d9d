// Real encodes at the broadcast's settings, read back by our own decoder.

#include <gtest/gtest.h>

#include "Platform/CoreMedia/FourCharCode.hpp"
#include "Platform/VideoToolbox/Tests/support/SessionHarness.hpp"
#include "Platform/VideoToolbox/Tests/support/TestPattern.hpp"

namespace platform {
namespace {

using videotest::DecodedPictures;
using videotest::EncodedSamples;

constexpr int broadcastWidth = 1280;
constexpr int broadcastHeight = 720;
constexpr std::int64_t broadcastBitRate = 2'200'000;

VTPropertyDictionary broadcastProperties(std::int64_t bitRate = broadcastBitRate) {
  return {
      {std::string(kVTCompressionPropertyKey_RealTime), true},
      {std::string(kVTCompressionPropertyKey_ProfileLevel), std::string(kVTProfileLevel_H264_Baseline_3_1)},
      {std::string(kVTCompressionPropertyKey_AverageBitRate), bitRate},
      {std::string(kVTCompressionPropertyKey_MaxKeyFrameIntervalDuration), 2},
      {std::string(kVTCompressionPropertyKey_AllowFrameReordering), false},
      {std::string(kVTCompressionPropertyKey_PixelTransferProperties),
       VTPropertyDictionary{{std::string(kVTPixelTransferPropertyKey_ScalingMode), std::string(kVTScalingMode_Trim)}}},
      {std::string(kVTCompressionPropertyKey_DataRateLimits), VTPropertyValue::List{bitRate * 0.125 * 1.5, 1.0}},
  };
}

std::shared_ptr<VTCompressionSession> makeSession(int width, int height, const VTPropertyDictionary& properties,
                                                  CMVideoCodecType codecType = kCMVideoCodecType_H264) {
  const auto made = VTCompressionSession::make(width, height, codecType, nullptr, std::nullopt);
  EXPECT_TRUE(made) << made.status;
  if (!made) return nullptr;
  EXPECT_EQ(made.value->setProperties(properties), noErr);
  EXPECT_EQ(made.value->prepareToEncodeFrames(), noErr);
  return made.value;
}

using PictureMaker = std::shared_ptr<CVPixelBuffer> (*)(int, int, int);

void encodeFrames(VTCompressionSession& session, EncodedSamples& encoded, int first, int count, PictureMaker makePicture,
                  int width = broadcastWidth, int height = broadcastHeight) {
  for (int frame = first; frame < first + count; ++frame) {
    ASSERT_EQ(session.encodeFrame(makePicture(width, height, frame), videotest::frameTime(frame),
                                  videotest::framePeriod(), encoded.handler()),
              noErr);
  }
}

double bitRateOf(const EncodedSamples& encoded, std::size_t begin, std::size_t end) {
  const double seconds = static_cast<double>(end - begin) / videotest::framesPerSecond;
  return videotest::totalBytes(encoded.samples, begin, end) * 8.0 / seconds;
}

bool isKeyFrame(const CMSampleBuffer& sample) {
  return sample.sampleAttachments().empty() || !sample.sampleAttachments()[0].contains(CMSampleAttachmentKey::notSync);
}

// The sample holds nothing but 4-byte length-prefixed units, none of them a parameter set.
bool isLengthPrefixedWithoutParameterSets(const CMSampleBuffer& sample) {
  const auto data = sample.dataBuffer()->data();
  std::size_t offset = 0;
  while (offset + 4 <= data.size()) {
    const std::size_t length = std::size_t{data[offset]} << 24 | std::size_t{data[offset + 1]} << 16 |
                               std::size_t{data[offset + 2]} << 8 | data[offset + 3];
    if (length == 0 || offset + 4 + length > data.size()) return false;
    const int type = data[offset + 4] & 0x1F;
    if (type == 7 || type == 8) return false;
    offset += 4 + length;
  }
  return offset == data.size();
}

class BroadcastRoundTrip : public testing::TestWithParam<PictureMaker> {};

TEST_P(BroadcastRoundTrip, DecodesEveryFrameBackInOrderAboveThirtyFiveDecibels) {
  constexpr int frameCount = 45;
  const auto session = makeSession(broadcastWidth, broadcastHeight, broadcastProperties());
  ASSERT_TRUE(session);
  EncodedSamples encoded;
  encodeFrames(*session, encoded, 0, frameCount, GetParam());
  ASSERT_EQ(session->completeFrames(), noErr);

  ASSERT_EQ(encoded.samples.size(), std::size_t{frameCount});
  EXPECT_TRUE(encoded.failures.empty());
  const auto& format = *encoded.samples.front()->formatDescription();
  EXPECT_EQ(format.mediaSubType(), kCMVideoCodecType_H264);
  EXPECT_EQ(format.parameterSets().size(), 2u);
  EXPECT_EQ(format.nalUnitHeaderLength(), 4);
  EXPECT_EQ(format.dimensions(), (CMVideoDimensions{broadcastWidth, broadcastHeight}));
  for (int frame = 0; frame < frameCount; ++frame) {
    const auto& sample = *encoded.samples[frame];
    EXPECT_EQ(sample.presentationTimeStamp(), videotest::frameTime(frame));
    EXPECT_EQ(sample.decodeTimeStamp(), videotest::frameTime(frame));
    EXPECT_EQ(sample.duration(), videotest::framePeriod());
    EXPECT_EQ(isKeyFrame(sample), frame == 0) << frame;
    EXPECT_TRUE(isLengthPrefixedWithoutParameterSets(sample)) << frame;
  }

  DecodedPictures decoded;
  videotest::decodeAll(encoded.samples, decoded);
  ASSERT_EQ(decoded.pictures.size(), std::size_t{frameCount});
  for (int frame = 0; frame < frameCount; ++frame) {
    EXPECT_EQ(decoded.times[frame], videotest::frameTime(frame));
    auto& picture = *decoded.pictures[frame];
    EXPECT_EQ(picture.pixelFormatType(), kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange);
    const double quality = videotest::psnr(videotest::patternLumaPlane(broadcastWidth, broadcastHeight, frame),
                                           videotest::lumaOf(picture));
    EXPECT_GT(quality, 35.0) << "frame " << frame;
  }
}

INSTANTIATE_TEST_SUITE_P(PixelFormats, BroadcastRoundTrip, testing::Values(&videotest::makeBGRA, &videotest::makeNV12),
                         [](const auto& info) { return info.index == 0 ? std::string("BGRA") : std::string("NV12"); });

TEST(VTCompressionSessionRateControl, TenSecondsHoldTheBitRateWithKeyFramesAtMostTwoSecondsApart) {
  constexpr int frameCount = 10 * videotest::framesPerSecond;
  const auto session = makeSession(broadcastWidth, broadcastHeight, broadcastProperties());
  ASSERT_TRUE(session);
  EncodedSamples encoded;
  encodeFrames(*session, encoded, 0, frameCount, &videotest::makeNV12);
  ASSERT_EQ(session->completeFrames(), noErr);
  ASSERT_EQ(encoded.samples.size(), std::size_t{frameCount});

  const double bitRate = bitRateOf(encoded, 0, frameCount);
  EXPECT_NEAR(bitRate, broadcastBitRate, broadcastBitRate * 0.15);

  std::vector<double> keyFrameTimes;
  for (const auto& sample : encoded.samples) {
    if (isKeyFrame(*sample)) keyFrameTimes.push_back(sample->presentationTimeStamp().seconds());
  }
  ASSERT_GE(keyFrameTimes.size(), 5u);
  EXPECT_EQ(keyFrameTimes.front(), 0.0);
  for (std::size_t index = 1; index < keyFrameTimes.size(); ++index) {
    EXPECT_LE(keyFrameTimes[index] - keyFrameTimes[index - 1], 2.0 + 1e-9) << "at " << keyFrameTimes[index];
  }
  EXPECT_GE(10.0 - keyFrameTimes.back(), 0.0);
  EXPECT_LE(10.0 - keyFrameTimes.back(), 2.0 + 1e-9);
}

TEST(VTCompressionSessionRateControl, ALiveBitRateChangeHalvesTheOutputRate) {
  constexpr int changeAt = 3 * videotest::framesPerSecond + 15;
  constexpr int settled = changeAt + videotest::framesPerSecond;
  constexpr int frameCount = 10 * videotest::framesPerSecond;
  const auto session = makeSession(broadcastWidth, broadcastHeight, broadcastProperties());
  ASSERT_TRUE(session);
  EncodedSamples encoded;
  encodeFrames(*session, encoded, 0, changeAt, &videotest::makeNV12);
  const std::int64_t halved = broadcastBitRate / 2;
  ASSERT_EQ(session->setProperty(kVTCompressionPropertyKey_AverageBitRate, halved), noErr);
  ASSERT_EQ(session->setProperty(kVTCompressionPropertyKey_DataRateLimits, VTPropertyValue::List{halved * 0.125 * 1.5, 1.0}),
            noErr);
  encodeFrames(*session, encoded, changeAt, frameCount - changeAt, &videotest::makeNV12);
  ASSERT_EQ(session->completeFrames(), noErr);
  ASSERT_EQ(encoded.samples.size(), std::size_t{frameCount});

  // The encoder restarted with the new rate on the very next frame.
  EXPECT_TRUE(isKeyFrame(*encoded.samples[changeAt]));
  const double before = bitRateOf(encoded, videotest::framesPerSecond, changeAt);
  const double after = bitRateOf(encoded, settled, frameCount);
  EXPECT_NEAR(after / before, 0.5, 0.1) << before << " -> " << after;
  EXPECT_NEAR(after, halved, halved * 0.15);
}

TEST(VTCompressionSessionReordering, ReorderedFramesDecodeInPresentationOrder) {
  constexpr int frameCount = 30;
  const auto session = makeSession(320, 240,
                                   {{std::string(kVTCompressionPropertyKey_ProfileLevel), std::string(kVTProfileLevel_H264_High_AutoLevel)},
                                    {std::string(kVTCompressionPropertyKey_AllowFrameReordering), true},
                                    {std::string(kVTCompressionPropertyKey_AverageBitRate), 500'000}});
  ASSERT_TRUE(session);
  EncodedSamples encoded;
  encodeFrames(*session, encoded, 0, frameCount, &videotest::makeNV12, 320, 240);
  ASSERT_EQ(session->completeFrames(), noErr);
  ASSERT_EQ(encoded.samples.size(), std::size_t{frameCount});

  bool reordered = false;
  for (const auto& sample : encoded.samples) {
    EXPECT_LE(sample->decodeTimeStamp(), sample->presentationTimeStamp());
    reordered = reordered || sample->decodeTimeStamp() != sample->presentationTimeStamp();
  }
  EXPECT_TRUE(reordered);

  DecodedPictures decoded;
  videotest::decodeAll(encoded.samples, decoded);
  ASSERT_EQ(decoded.times.size(), std::size_t{frameCount});
  for (int frame = 0; frame < frameCount; ++frame) EXPECT_EQ(decoded.times[frame], videotest::frameTime(frame));
}

TEST(VTCompressionSessionHEVC, RoundTripsThroughOurDecoder) {
  constexpr int frameCount = 20;
  const auto session = makeSession(320, 240,
                                   {{std::string(kVTCompressionPropertyKey_ProfileLevel), std::string(kVTProfileLevel_HEVC_Main_AutoLevel)},
                                    {std::string(kVTCompressionPropertyKey_RealTime), true},
                                    {std::string(kVTCompressionPropertyKey_AverageBitRate), 800'000}},
                                   kCMVideoCodecType_HEVC);
  ASSERT_TRUE(session);
  EncodedSamples encoded;
  encodeFrames(*session, encoded, 0, frameCount, &videotest::makeNV12, 320, 240);
  ASSERT_EQ(session->completeFrames(), noErr);
  ASSERT_EQ(encoded.samples.size(), std::size_t{frameCount});
  const auto& format = *encoded.samples.front()->formatDescription();
  EXPECT_EQ(format.mediaSubType(), kCMVideoCodecType_HEVC);
  EXPECT_EQ(format.parameterSets().size(), 3u);

  DecodedPictures decoded;
  videotest::decodeAll(encoded.samples, decoded);
  ASSERT_EQ(decoded.pictures.size(), std::size_t{frameCount});
  for (int frame = 0; frame < frameCount; ++frame) {
    EXPECT_GT(videotest::psnr(videotest::patternLumaPlane(320, 240, frame), videotest::lumaOf(*decoded.pictures[frame])),
              30.0);
  }
}

class VTCompressionSessionKeyFrameRequest : public testing::TestWithParam<CMVideoCodecType> {};

TEST_P(VTCompressionSessionKeyFrameRequest, ForcesTheNextFrameSubmittedAndOnlyThatOne) {
  const auto session = makeSession(320, 240,
                                   {{std::string(kVTCompressionPropertyKey_RealTime), true},
                                    {std::string(kVTCompressionPropertyKey_AverageBitRate), 500'000}},
                                   GetParam());
  ASSERT_TRUE(session);
  EncodedSamples encoded;
  // The frames before are queued already when the request comes.
  encodeFrames(*session, encoded, 0, 5, &videotest::makeNV12, 320, 240);
  session->requestKeyFrame();
  encodeFrames(*session, encoded, 5, 5, &videotest::makeNV12, 320, 240);
  session->requestKeyFrame();
  encodeFrames(*session, encoded, 10, 3, &videotest::makeNV12, 320, 240);
  ASSERT_EQ(session->completeFrames(), noErr);
  ASSERT_EQ(encoded.samples.size(), 13u);
  for (int frame = 0; frame < 13; ++frame) {
    EXPECT_EQ(isKeyFrame(*encoded.samples[frame]), frame == 0 || frame == 5 || frame == 10) << frame;
  }

  DecodedPictures decoded;
  videotest::decodeAll(encoded.samples, decoded);
  EXPECT_EQ(decoded.pictures.size(), 13u);
}

INSTANTIATE_TEST_SUITE_P(Codecs, VTCompressionSessionKeyFrameRequest,
                         testing::Values(kCMVideoCodecType_H264, kCMVideoCodecType_HEVC),
                         [](const auto& info) { return info.index == 0 ? std::string("H264") : std::string("HEVC"); });

TEST(VTCompressionSessionScaling, LetterboxFitsTheSourceBetweenBlackBars) {
  const auto session = makeSession(
      320, 180,
      {{std::string(kVTCompressionPropertyKey_PixelTransferProperties),
        VTPropertyDictionary{{std::string(kVTPixelTransferPropertyKey_ScalingMode), std::string(kVTScalingMode_Letterbox)}}},
       {std::string(kVTCompressionPropertyKey_RealTime), true}});
  ASSERT_TRUE(session);
  EncodedSamples encoded;
  // A square white source in a wide picture: bars left and right.
  const auto white = CVPixelBuffer::make(180, 180, kCVPixelFormatType_32BGRA).value;
  white->lockBaseAddress(0);
  std::fill_n(white->baseAddress(), white->dataSize(), 0xFF);
  white->unlockBaseAddress(0);
  ASSERT_EQ(session->encodeFrame(white, videotest::frameTime(1), videotest::framePeriod(), encoded.handler()), noErr);
  ASSERT_EQ(session->completeFrames(), noErr);
  ASSERT_EQ(encoded.samples.size(), 1u);

  DecodedPictures decoded;
  videotest::decodeAll(encoded.samples, decoded);
  ASSERT_EQ(decoded.pictures.size(), 1u);
  const auto luma = videotest::lumaOf(*decoded.pictures[0]);
  ASSERT_EQ(luma.size(), 320u * 180u);
  const auto at = [&](int x, int y) { return int{luma[static_cast<std::size_t>(y) * 320 + x]}; };
  EXPECT_NEAR(at(20, 90), 16, 6);
  EXPECT_NEAR(at(300, 90), 16, 6);
  EXPECT_NEAR(at(160, 90), 235, 6);
}

TEST(VTCompressionSessionContract, RefusesWhatItCannotEncode) {
  EXPECT_EQ(VTCompressionSession::make(0, 720, kCMVideoCodecType_H264, nullptr, std::nullopt).status, kVTParameterErr);
  EXPECT_EQ(VTCompressionSession::make(1280, 16385, kCMVideoCodecType_H264, nullptr, std::nullopt).status, kVTParameterErr);
  EXPECT_EQ(VTCompressionSession::make(1280, 720, fourCC("mp4v"), nullptr, std::nullopt).status,
            kVTCouldNotFindVideoEncoderErr);
  EXPECT_EQ(VTCompressionSession::make(1280, 720, kCMVideoCodecType_H264, nullptr,
                                       CVPixelBufferAttributes{.pixelFormatType = fourCC("2vuy")})
                .status,
            kVTPixelTransferNotSupportedErr);

  const auto session = VTCompressionSession::make(64, 64, kCMVideoCodecType_H264, nullptr, std::nullopt).value;
  ASSERT_TRUE(session);
  EXPECT_EQ(session->setProperty("NoSuchProperty", true), kVTPropertyNotSupportedErr);
  // All or nothing: the good entry of a failing set is not taken either.
  EXPECT_EQ(session->setProperties({{std::string(kVTCompressionPropertyKey_AverageBitRate), 100'000},
                                    {std::string(kVTCompressionPropertyKey_ProfileLevel), std::string(kVTProfileLevel_HEVC_Main_AutoLevel)}}),
            kVTParameterErr);
  EXPECT_FALSE(session->copyProperty(kVTCompressionPropertyKey_AverageBitRate));
  EXPECT_EQ(session->encodeFrame(nullptr, videotest::frameTime(0), videotest::framePeriod(), [](auto...) {}),
            kVTParameterErr);

  session->invalidate();
  EXPECT_EQ(session->encodeFrame(videotest::makeNV12(64, 64, 0), videotest::frameTime(0), videotest::framePeriod(),
                                 [](auto...) {}),
            kVTInvalidSessionErr);
  EXPECT_EQ(session->setProperty(kVTCompressionPropertyKey_AverageBitRate, 100'000), kVTInvalidSessionErr);
}

TEST(VTCompressionSessionContract, EncodesWithoutExplicitPreparationAndAfterDraining) {
  const auto session = VTCompressionSession::make(64, 64, kCMVideoCodecType_H264, nullptr, std::nullopt).value;
  ASSERT_TRUE(session);
  EncodedSamples encoded;
  encodeFrames(*session, encoded, 0, 3, &videotest::makeNV12, 64, 64);
  ASSERT_EQ(session->completeFrames(), noErr);
  encodeFrames(*session, encoded, 3, 3, &videotest::makeNV12, 64, 64);
  ASSERT_EQ(session->completeFrames(), noErr);
  ASSERT_EQ(encoded.samples.size(), 6u);
  // Draining ends the encoder; the next frame opens a new one with a key frame.
  EXPECT_TRUE(isKeyFrame(*encoded.samples[3]));
}

}  // namespace
}  // namespace platform
