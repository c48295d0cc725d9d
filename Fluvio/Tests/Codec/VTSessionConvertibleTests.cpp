// The session layer over real platform sessions: creation rules, attributes,
// and frames through an asynchronous sequence and back.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Fluvio/Sources/Codec/VTCompressionSessionAdapter.hpp"
#include "Fluvio/Sources/Codec/VTDecompressionSessionAdapter.hpp"
#include "Fluvio/Sources/Codec/VTSessionError.hpp"
#include "Fluvio/Sources/Codec/VideoCodecSettings.hpp"
#include "Fluvio/Sources/Extension/CMSampleBufferExtension.hpp"
#include "Platform/VideoToolbox/Tests/support/SampleStream.hpp"
#include "Platform/VideoToolbox/Tests/support/TestPattern.hpp"

namespace fluvio {
namespace {

using platform::CMSampleBuffer;
using videotest::SampleStream;

constexpr int width = 320;
constexpr int height = 240;

VideoCodecSettings smallSettings(std::string profileLevel = std::string(platform::kVTProfileLevel_H264_Baseline_3_1)) {
  return VideoCodecSettings({width, height}, 500'000, std::move(profileLevel));
}

CMSampleBuffer makeFrame(int frame) { return videotest::makeVideoSample(videotest::makeNV12(width, height, frame), frame); }

std::vector<CMSampleBuffer> collect(const SampleStream& stream, std::size_t count) {
  return videotest::collectSamples(stream, count);
}

void expectCreationFailure(const VideoCodecSettings& settings, const std::shared_ptr<const platform::CMFormatDescription>& format,
                           bool decoding, platform::OSStatus status) {
  try {
    makeSession(settings, format, decoding);
    ADD_FAILURE() << "made a session";
  } catch (const VTSessionError& error) {
    EXPECT_EQ(error.errorCase(), VTSessionError::Case::failedToCreate);
    EXPECT_EQ(error.status(), status);
  }
}

TEST(VTSessionConvertible, EncodesIntoTheSequenceAndDecodesBackInOrder) {
  const auto inputFormat = makeFrame(0).formatDescription();
  const auto encoder = makeSession(smallSettings(), inputFormat, false);
  auto [encodedStream, encodedContinuation] = SampleStream::makeStream();
  constexpr int frameCount = 10;
  for (int frame = 1; frame <= frameCount; ++frame) encoder->convert(makeFrame(frame), encodedContinuation);
  const auto encoded = collect(encodedStream, frameCount);
  ASSERT_EQ(encoded.size(), std::size_t{frameCount});
  EXPECT_FALSE(isNotSync(encoded.front()));
  EXPECT_TRUE(isNotSync(encoded.back()));

  const auto decoder = makeSession(smallSettings(), encoded.front().formatDescription(), true);
  auto [decodedStream, decodedContinuation] = SampleStream::makeStream();
  for (const auto& sample : encoded) decoder->convert(sample, decodedContinuation);
  const auto decoded = collect(decodedStream, frameCount);
  ASSERT_EQ(decoded.size(), std::size_t{frameCount});
  for (int index = 0; index < frameCount; ++index) {
    const auto& sample = decoded[index];
    EXPECT_EQ(sample.presentationTimeStamp(), platform::CMTime::make(index + 1, 30));
    EXPECT_EQ(sample.duration(), platform::CMTime::make(1, 30));
    EXPECT_FALSE(sample.decodeTimeStamp().isValid());
    ASSERT_TRUE(sample.imageBuffer());
    EXPECT_EQ(sample.formatDescription()->dimensions(), (platform::CMVideoDimensions{width, height}));
    EXPECT_GT(videotest::psnr(videotest::patternLumaPlane(width, height, index + 1), videotest::lumaOf(*sample.imageBuffer())),
              33.0);
  }
}

TEST(VTSessionConvertible, HEVCSettingsMakeAnHEVCSession) {
  const auto inputFormat = makeFrame(0).formatDescription();
  const auto encoder = makeSession(smallSettings(std::string(platform::kVTProfileLevel_HEVC_Main_AutoLevel)), inputFormat, false);
  auto [stream, continuation] = SampleStream::makeStream();
  encoder->convert(makeFrame(1), continuation);
  const auto encoded = collect(stream, 1);
  ASSERT_EQ(encoded.size(), 1u);
  EXPECT_EQ(encoded.front().formatDescription()->mediaSubType(), platform::kCMVideoCodecType_HEVC);
}

TEST(VTSessionConvertible, ExpectedFrameRateIsSetOnlyWhenTheSettingsCarryOne) {
  const auto inputFormat = makeFrame(0).formatDescription();
  auto settings = smallSettings();
  const auto without = std::dynamic_pointer_cast<VTCompressionSessionAdapter>(makeSession(settings, inputFormat, false));
  ASSERT_TRUE(without);
  EXPECT_FALSE(without->session()->copyProperty(platform::kVTCompressionPropertyKey_ExpectedFrameRate));
  EXPECT_TRUE(without->session()->copyProperty(platform::kVTCompressionPropertyKey_RealTime));

  settings.expectedFrameRate = 30;
  const auto with = std::dynamic_pointer_cast<VTCompressionSessionAdapter>(makeSession(settings, inputFormat, false));
  ASSERT_TRUE(with);
  EXPECT_EQ(with->session()->copyProperty(platform::kVTCompressionPropertyKey_ExpectedFrameRate),
            platform::VTPropertyValue(30.0));
}

TEST(VTSessionConvertible, ASampleWithoutPictureIsTakenAndProducesNothing) {
  const auto encoder = makeSession(smallSettings(), makeFrame(0).formatDescription(), false);
  auto [stream, continuation] = SampleStream::makeStream();
  const auto empty = CMSampleBuffer::make(nullptr, true, nullptr, 0, {}, {});
  ASSERT_TRUE(empty);
  EXPECT_NO_THROW(encoder->convert(*empty.value, continuation));
  encoder->convert(makeFrame(5), continuation);
  const auto encoded = collect(stream, 1);
  ASSERT_EQ(encoded.size(), 1u);
  EXPECT_EQ(encoded.front().presentationTimeStamp(), platform::CMTime::make(5, 30));
}

TEST(VTSessionConvertible, RefusesSessionsItCannotMake) {
  // No input format to decode from.
  expectCreationFailure(smallSettings(), nullptr, true, platform::kVTParameterErr);
  const auto inputFormat = makeFrame(0).formatDescription();
  for (const platform::CGSize size : {platform::CGSize{0, 240}, platform::CGSize{320, 16385},
                                      platform::CGSize{std::numeric_limits<double>::quiet_NaN(), 240},
                                      platform::CGSize{320, std::numeric_limits<double>::infinity()},
                                      platform::CGSize{-320, 240}, platform::CGSize{0.5, 240}}) {
    auto settings = smallSettings();
    settings.videoSize = size;
    expectCreationFailure(settings, inputFormat, false, platform::kVTParameterErr);
  }
  // An uncompressed format is nothing a decoder can read.
  expectCreationFailure(smallSettings(), inputFormat, true, platform::kVTVideoDecoderUnsupportedDataFormatErr);
}

TEST(VTSessionConvertible, AProfileTheEncoderCannotTakeFailsThePreparation) {
  auto settings = smallSettings("H264_Extended_5_0");
  try {
    makeSession(settings, makeFrame(0).formatDescription(), false);
    ADD_FAILURE() << "made a session";
  } catch (const VTSessionError& error) {
    EXPECT_EQ(error.errorCase(), VTSessionError::Case::failedToPrepare);
    EXPECT_EQ(error.status(), platform::kVTParameterErr);
  }
}

TEST(VTSessionConvertible, ImageBufferAttributesFollowTheMode) {
  const auto inputFormat = makeFrame(0).formatDescription();
  const auto encoding = makeImageBufferAttributes(VTSessionMode::compression, inputFormat);
  ASSERT_TRUE(encoding);
  EXPECT_EQ(encoding->pixelFormatType, platform::kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange);
  EXPECT_FALSE(makeImageBufferAttributes(VTSessionMode::compression, nullptr));

  const auto decoding = makeImageBufferAttributes(VTSessionMode::decompression, nullptr);
  ASSERT_TRUE(decoding);
  EXPECT_TRUE(decoding->ioSurfaceProperties);
  EXPECT_TRUE(decoding->metalCompatibility);
  EXPECT_FALSE(decoding->pixelFormatType);
}

TEST(VTSessionConvertible, ABadSampleIsDroppedAndDecodingGoesOn) {
  const auto inputFormat = makeFrame(0).formatDescription();
  const auto encoder = makeSession(smallSettings(), inputFormat, false);
  auto [encodedStream, encodedContinuation] = SampleStream::makeStream();
  encoder->convert(makeFrame(1), encodedContinuation);
  const auto encoded = collect(encodedStream, 1);
  ASSERT_EQ(encoded.size(), 1u);

  const auto decoder = makeSession(smallSettings(), encoded.front().formatDescription(), true);
  auto [decodedStream, decodedContinuation] = SampleStream::makeStream();
  const std::vector<std::uint8_t> garbage{0, 0, 0, 3, 0x65, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const std::size_t size = garbage.size();
  const platform::CMSampleTimingInfo timing{platform::CMTime::make(1, 30), platform::CMTime::make(0, 30),
                                            platform::CMTime::invalid};
  const auto bad = CMSampleBuffer::make(platform::CMBlockBuffer::make(garbage).value, true,
                                        encoded.front().formatDescription(), 1, {&timing, 1}, {&size, 1});
  ASSERT_TRUE(bad);
  EXPECT_NO_THROW(decoder->convert(*bad.value, decodedContinuation));
  decoder->convert(encoded.front(), decodedContinuation);
  const auto decoded = collect(decodedStream, 1);
  ASSERT_EQ(decoded.size(), 1u);
  EXPECT_EQ(decoded.front().presentationTimeStamp(), platform::CMTime::make(1, 30));
}

TEST(VTSessionConvertible, AnInvalidatedSessionRefusesFrames) {
  const auto encoder = makeSession(smallSettings(), makeFrame(0).formatDescription(), false);
  encoder->invalidate();
  auto [stream, continuation] = SampleStream::makeStream();
  try {
    encoder->convert(makeFrame(1), continuation);
    ADD_FAILURE() << "took a frame";
  } catch (const VTSessionError& error) {
    EXPECT_EQ(error.errorCase(), VTSessionError::Case::failedToConvert);
    EXPECT_EQ(error.status(), platform::kVTInvalidSessionErr);
  }
}

}  // namespace
}  // namespace fluvio
