// The H.264 encoder driven directly: what it writes into the format
// description and the samples, decoded back by libavcodec from the avcC.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "Platform/VideoToolbox/Tests/support/SessionHarness.hpp"
#include "Platform/VideoToolbox/Tests/support/TestPattern.hpp"
#include "Platform/VideoToolbox/VTX264Encoder.hpp"

namespace platform {
namespace {

using videotest::DecodedPictures;
using videotest::EncodedSamples;
using PictureMaker = std::shared_ptr<CVPixelBuffer> (*)(int, int, int);

VTEncoderConfiguration realTimeConfiguration() {
  VTEncoderConfiguration configuration;
  configuration.realTime = true;
  configuration.allowFrameReordering = false;
  configuration.bitRate = 1'500'000;
  return configuration;
}

// Encodes frames first..first+count-1 of the pattern, 30 to the second.
void encodeFrames(VTX264Encoder& encoder, const VTEncoderConfiguration& configuration, EncodedSamples& encoded,
                  int first, int count, int width, int height, PictureMaker makePicture = &videotest::makeNV12) {
  for (int frame = first; frame < first + count; ++frame) {
    encoder.encode(*makePicture(width, height, frame), videotest::frameTime(frame), videotest::framePeriod(),
                   configuration, encoded.handler());
  }
}

bool isKeyFrame(const CMSampleBuffer& sample) {
  return sample.sampleAttachments().empty() || !sample.sampleAttachments()[0].contains(CMSampleAttachmentKey::notSync);
}

// The NAL unit types of a sample of 4-byte length-prefixed units; empty when
// the lengths do not add up to the sample.
std::vector<int> unitTypes(const CMSampleBuffer& sample) {
  const auto data = sample.dataBuffer()->data();
  std::vector<int> types;
  std::size_t offset = 0;
  while (offset + 4 < data.size()) {
    const std::size_t length = std::size_t{data[offset]} << 24 | std::size_t{data[offset + 1]} << 16 |
                               std::size_t{data[offset + 2]} << 8 | data[offset + 3];
    if (length == 0 || offset + 4 + length > data.size()) return {};
    types.push_back(data[offset + 4] & 0x1F);
    offset += 4 + length;
  }
  return offset == data.size() ? types : std::vector<int>{};
}

// The interleaved chroma of a 4:2:0 bi-planar buffer, without row padding.
std::vector<std::uint8_t> chromaOf(CVPixelBuffer& buffer) {
  std::vector<std::uint8_t> chroma;
  const std::size_t rowBytes = (buffer.width() + 1) / 2 * 2;
  buffer.lockBaseAddress(kCVPixelBufferLock_ReadOnly);
  for (std::size_t y = 0; y < (buffer.height() + 1) / 2; ++y) {
    const std::uint8_t* row = buffer.baseAddressOfPlane(1) + y * buffer.bytesPerRowOfPlane(1);
    chroma.insert(chroma.end(), row, row + rowBytes);
  }
  buffer.unlockBaseAddress(kCVPixelBufferLock_ReadOnly);
  return chroma;
}

std::vector<std::uint8_t> patternChromaPlane(int width, int height, int frame) {
  std::vector<std::uint8_t> chroma;
  for (int y = 0; y < height / 2; ++y) {
    for (int x = 0; x < width / 2; ++x) {
      chroma.push_back(videotest::patternChroma(x, y, frame, 1));
      chroma.push_back(videotest::patternChroma(x, y, frame, 2));
    }
  }
  return chroma;
}

struct RoundTripCase {
  const char* name;
  int width;
  int height;
  PictureMaker makePicture;

  friend void PrintTo(const RoundTripCase& roundTrip, std::ostream* stream) { *stream << roundTrip.name; }
};

class VTX264EncoderRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(VTX264EncoderRoundTrip, TheAvcCDecodesEveryFrameBackCloseToItsSource) {
  constexpr int frameCount = 12;
  const auto [name, width, height, makePicture] = GetParam();
  // Odd sides are cut to even ones; the pattern is the same at every pixel kept.
  const int encodedWidth = width & ~1;
  const int encodedHeight = height & ~1;
  VTX264Encoder encoder(width, height);
  EncodedSamples encoded;
  encodeFrames(encoder, realTimeConfiguration(), encoded, 0, frameCount, width, height, makePicture);
  encoder.drain();
  ASSERT_EQ(encoded.samples.size(), std::size_t{frameCount});
  ASSERT_TRUE(encoded.failures.empty());

  const auto& format = *encoded.samples.front()->formatDescription();
  EXPECT_EQ(format.dimensions(), (CMVideoDimensions{encodedWidth, encodedHeight}));
  ASSERT_EQ(format.parameterSets().size(), 2u);
  EXPECT_EQ(format.parameterSets()[0].front() & 0x1F, 7);
  EXPECT_EQ(format.parameterSets()[1].front() & 0x1F, 8);
  for (const auto& sample : encoded.samples) {
    const auto types = unitTypes(*sample);
    ASSERT_FALSE(types.empty());
    EXPECT_TRUE(std::none_of(types.begin(), types.end(), [](int type) { return type == 7 || type == 8 || type == 9; }));
  }
  // The encoder's own SEI leads the first sample only.
  EXPECT_EQ(unitTypes(*encoded.samples[0]).front(), 6);
  EXPECT_NE(unitTypes(*encoded.samples[1]).front(), 6);

  DecodedPictures decoded;
  videotest::decodeAll(encoded.samples, decoded);
  ASSERT_EQ(decoded.pictures.size(), std::size_t{frameCount});
  const bool grey = makePicture == &videotest::makeBGRA;
  for (int frame = 0; frame < frameCount; ++frame) {
    auto& picture = *decoded.pictures[frame];
    ASSERT_EQ(picture.width(), static_cast<std::size_t>(encodedWidth));
    ASSERT_EQ(picture.height(), static_cast<std::size_t>(encodedHeight));
    EXPECT_GT(videotest::psnr(videotest::patternLumaPlane(encodedWidth, encodedHeight, frame), videotest::lumaOf(picture)),
              35.0)
        << "frame " << frame;
    const auto expectedChroma = grey ? std::vector<std::uint8_t>(encodedWidth / 2 * 2 * (encodedHeight / 2), 128)
                                     : patternChromaPlane(encodedWidth, encodedHeight, frame);
    EXPECT_GT(videotest::psnr(expectedChroma, chromaOf(picture)), 35.0) << "frame " << frame;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, VTX264EncoderRoundTrip,
    testing::Values(RoundTripCase{"NV12HandedOver", 638, 360, &videotest::makeNV12},
                    RoundTripCase{"NV12OddSidesConverted", 321, 243, &videotest::makeNV12},
                    RoundTripCase{"BGRAConverted", 480, 270, &videotest::makeBGRA}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VTX264Encoder, ProfileLevelAndEntropyModeAreTheConfiguredOnes) {
  struct Case {
    const char* profileLevel;
    std::optional<bool> cabac;
    int profileIdc;
    int levelIdc;  // 0: any the encoder picks
    bool cabacInStream;
  };
  for (const auto& [profileLevel, cabac, profileIdc, levelIdc, cabacInStream] :
       {Case{"H264_Baseline_3_1", std::nullopt, 66, 31, false}, Case{"H264_Main_4_1", std::nullopt, 77, 41, true},
        Case{"H264_High_3_0", false, 100, 30, false}, Case{"H264_High_AutoLevel", true, 100, 0, true}}) {
    VTEncoderConfiguration configuration = realTimeConfiguration();
    ASSERT_EQ(configuration.set(kVTCompressionPropertyKey_ProfileLevel, profileLevel), noErr);
    configuration.cabac = cabac;
    VTX264Encoder encoder(320, 240);
    EncodedSamples encoded;
    encodeFrames(encoder, configuration, encoded, 0, 1, 320, 240);
    encoder.drain();
    ASSERT_EQ(encoded.samples.size(), 1u) << profileLevel;
    const auto& parameterSets = encoded.samples[0]->formatDescription()->parameterSets();
    const auto& sps = parameterSets[0];
    EXPECT_EQ(sps[1], profileIdc) << profileLevel;
    EXPECT_EQ(levelIdc == 0 ? sps[3] > 0 : sps[3] == levelIdc, true) << profileLevel << " level " << int{sps[3]};
    // PPS: two one-bit ids (0 and 0), then the entropy coding mode flag.
    const auto& pps = parameterSets[1];
    EXPECT_EQ((pps[1] >> 5 & 1) == 1, cabacInStream) << profileLevel;
  }
}

TEST(VTX264Encoder, InRealTimeEachFrameComesOutBeforeTheNextGoesIn) {
  VTX264Encoder encoder(320, 240);
  EncodedSamples encoded;
  for (int frame = 0; frame < 10; ++frame) {
    encodeFrames(encoder, realTimeConfiguration(), encoded, frame, 1, 320, 240);
    ASSERT_EQ(encoded.samples.size(), std::size_t(frame + 1));
    EXPECT_EQ(encoded.samples.back()->presentationTimeStamp(), videotest::frameTime(frame));
    EXPECT_EQ(encoded.samples.back()->decodeTimeStamp(), videotest::frameTime(frame));
  }
}

TEST(VTX264Encoder, DrainingHandsBackEveryHeldFrameOnceInDecodeOrder) {
  constexpr int frameCount = 20;
  VTEncoderConfiguration configuration;
  configuration.profile = "high";
  VTX264Encoder encoder(320, 240);
  EncodedSamples encoded;
  encodeFrames(encoder, configuration, encoded, 0, frameCount, 320, 240);
  // Lookahead, reordering and frame threads hold frames back until the drain.
  EXPECT_LT(encoded.samples.size(), std::size_t{frameCount});
  encoder.drain();
  ASSERT_EQ(encoded.samples.size(), std::size_t{frameCount});
  EXPECT_TRUE(encoded.failures.empty());

  std::set<CMTime> presentationTimes;
  bool reordered = false;
  for (std::size_t index = 0; index < encoded.samples.size(); ++index) {
    const auto& sample = *encoded.samples[index];
    presentationTimes.insert(sample.presentationTimeStamp());
    EXPECT_LE(sample.decodeTimeStamp(), sample.presentationTimeStamp());
    if (index > 0) {
      EXPECT_LT(encoded.samples[index - 1]->decodeTimeStamp(), sample.decodeTimeStamp());
    }
    reordered = reordered || sample.presentationTimeStamp() != videotest::frameTime(static_cast<int>(index));
  }
  EXPECT_TRUE(reordered);
  EXPECT_EQ(presentationTimes.size(), std::size_t{frameCount});
  EXPECT_EQ(*presentationTimes.begin(), videotest::frameTime(0));
  EXPECT_EQ(*presentationTimes.rbegin(), videotest::frameTime(frameCount - 1));

  // Drained means closed: the next frame starts a new stream with a key frame.
  encodeFrames(encoder, configuration, encoded, frameCount, 1, 320, 240);
  encoder.drain();
  ASSERT_EQ(encoded.samples.size(), std::size_t{frameCount + 1});
  EXPECT_TRUE(isKeyFrame(*encoded.samples.back()));
}

class VTX264EncoderKeyFrames : public testing::TestWithParam<bool> {};

TEST_P(VTX264EncoderKeyFrames, ComeWhereTheIntervalDurationForcesThemAndNowhereElse) {
  constexpr int frameCount = 60;
  VTEncoderConfiguration configuration;
  configuration.realTime = GetParam();
  configuration.bitRate = 800'000;
  // The frame count alone would allow one key frame in the whole run.
  configuration.maxKeyFrameInterval = 1000;
  configuration.maxKeyFrameIntervalDuration = 0.4;
  VTX264Encoder encoder(320, 240);
  EncodedSamples encoded;
  encodeFrames(encoder, configuration, encoded, 0, frameCount, 320, 240);
  encoder.drain();
  ASSERT_EQ(encoded.samples.size(), std::size_t{frameCount});

  std::set<CMTime> keyFrameTimes;
  for (const auto& sample : encoded.samples) {
    if (isKeyFrame(*sample)) keyFrameTimes.insert(sample->presentationTimeStamp());
  }
  // A key frame is due when the frame after it would start more than 0.4 s
  // after the last one: every 12th frame at 30 per second.
  std::set<CMTime> expected;
  for (int frame = 0; frame < frameCount; frame += 12) expected.insert(videotest::frameTime(frame));
  EXPECT_EQ(keyFrameTimes, expected);
}

INSTANTIATE_TEST_SUITE_P(Latency, VTX264EncoderKeyFrames, testing::Bool(),
                         [](const auto& info) { return info.param ? std::string("RealTime") : std::string("Reordering"); });

TEST(VTX264Encoder, AFrameTheEncoderCannotBeOpenedForIsDroppedWithTheReason) {
  VTEncoderConfiguration configuration = realTimeConfiguration();
  // Below one kbit/s the encoder is given no rate at all and refuses to open.
  configuration.bitRate = 500;
  VTX264Encoder encoder(64, 64);
  EncodedSamples encoded;
  encodeFrames(encoder, configuration, encoded, 0, 2, 64, 64);
  encoder.drain();
  EXPECT_TRUE(encoded.samples.empty());
  EXPECT_EQ(encoded.failures, (std::vector<OSStatus>{kVTParameterErr, kVTParameterErr}));

  // A rate it takes opens it on the next frame.
  configuration.bitRate = 500'000;
  encodeFrames(encoder, configuration, encoded, 2, 1, 64, 64);
  encoder.drain();
  EXPECT_EQ(encoded.samples.size(), 1u);
}

struct RateChange {
  const char* name;
  std::int64_t before;
  std::int64_t after;

  friend void PrintTo(const RateChange& change, std::ostream* stream) { *stream << change.before << " -> " << change.after; }
};

class VTX264EncoderRateChange : public testing::TestWithParam<RateChange> {};

TEST_P(VTX264EncoderRateChange, TheNewRateHoldsFromTheFrameItIsSetOn) {
  constexpr int width = 1280;
  constexpr int height = 720;
  constexpr int changeAt = 105;
  constexpr int frameCount = 240;
  const auto [name, before, after] = GetParam();
  VTEncoderConfiguration configuration = realTimeConfiguration();
  configuration.bitRate = before;
  configuration.maxKeyFrameIntervalDuration = 2;
  configuration.dataRateLimit = VTEncoderConfiguration::DataRateLimit{before * 0.125 * 1.5, 1.0};
  VTX264Encoder encoder(width, height);
  EncodedSamples encoded;
  encodeFrames(encoder, configuration, encoded, 0, changeAt, width, height);
  configuration.bitRate = after;
  configuration.dataRateLimit = VTEncoderConfiguration::DataRateLimit{after * 0.125 * 1.5, 1.0};
  encodeFrames(encoder, configuration, encoded, changeAt, frameCount - changeAt, width, height);
  encoder.drain();
  ASSERT_EQ(encoded.samples.size(), std::size_t{frameCount});

  const auto bitRate = [&encoded](int begin, int end) {
    return videotest::totalBytes(encoded.samples, begin, end) * 8.0 * videotest::framesPerSecond / (end - begin);
  };
  const double measuredBefore = bitRate(videotest::framesPerSecond, changeAt);
  const double measuredAfter = bitRate(changeAt + videotest::framesPerSecond, frameCount);
  EXPECT_NEAR(measuredBefore, before, before * 0.15);
  EXPECT_NEAR(measuredAfter, after, after * 0.15);
  EXPECT_NEAR(measuredAfter / measuredBefore, static_cast<double>(after) / before, 0.2 * after / before);
  EXPECT_TRUE(isKeyFrame(*encoded.samples[changeAt]));
}

INSTANTIATE_TEST_SUITE_P(Directions, VTX264EncoderRateChange,
                         testing::Values(RateChange{"Down", 2'400'000, 1'200'000}, RateChange{"Up", 1'200'000, 2'400'000}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace platform
