#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>
#include <vector>

#include "Fluvio/Sources/Mixer/VideoMixer.hpp"
#include "Platform/AVFoundation/SyntheticCameraSource.hpp"

namespace fluvio {
namespace {

using platform::CMSampleBuffer;

CMSampleBuffer frame(platform::OSType pixelFormat, std::int64_t time, std::int32_t width = 64, std::int32_t height = 48) {
  auto picture = platform::CVPixelBuffer::make(width, height, pixelFormat).value;
  picture->lockBaseAddress(0);
  platform::SyntheticCameraSource::paint(*picture, static_cast<std::uint64_t>(time));
  picture->unlockBaseAddress(0);
  auto description = platform::CMFormatDescription::makeForImageBuffer(*picture).value;
  return *CMSampleBuffer::makeReadyWithImageBuffer(picture, description, {platform::CMTime::make(1, 30),
                                                                            platform::CMTime::make(time, 30),
                                                                            platform::CMTime::invalid})
              .value;
}

std::vector<std::uint8_t> bytesOf(const platform::CVPixelBuffer& picture) {
  return {picture.baseAddress(), picture.baseAddress() + picture.dataSize()};
}

struct Recorder final : VideoMixerDelegate {
  std::vector<std::pair<std::uint8_t, CMSampleBuffer>> inputs;
  std::vector<CMSampleBuffer> outputs;
  void didInput(const CMSampleBuffer& buffer, std::uint8_t track) override { inputs.emplace_back(track, buffer); }
  void didOutput(const CMSampleBuffer& buffer) override { outputs.push_back(buffer); }
};

struct RouteCase {
  const char* name;
  VideoMixerSettings settings;
  std::size_t outputs;
};

class VideoMixerRoutes : public ::testing::TestWithParam<RouteCase> {};

TEST_P(VideoMixerRoutes, EveryFrameIsAnInputAndOnlyTheMainTrackAnOutput) {
  auto recorder = std::make_shared<Recorder>();
  VideoMixer mixer;
  mixer.setDelegate(recorder);
  mixer.setSettings(GetParam().settings);
  for (int i = 0; i < 3; ++i) {
    mixer.append(frame(platform::kCVPixelFormatType_32BGRA, i), 0);
    mixer.append(frame(platform::kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange, i), 1);
  }
  EXPECT_EQ(recorder->inputs.size(), 6u);
  EXPECT_EQ(recorder->inputs[1].first, 1);
  ASSERT_EQ(recorder->outputs.size(), GetParam().outputs);
  EXPECT_EQ(mixer.inputFormats().size(), 2u);
  EXPECT_EQ(mixer.inputFormats().at(1)->mediaSubType(), platform::kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange);
  if (GetParam().outputs == 0) {
    EXPECT_EQ(mixer.currentPixelBuffer(), nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, VideoMixerRoutes,
    ::testing::Values(RouteCase{"passthroughMain0", {VideoMixerSettings::Mode::passthrough, false, 0}, 3},
                      RouteCase{"passthroughMain1", {VideoMixerSettings::Mode::passthrough, false, 1}, 3},
                      RouteCase{"passthroughMainAbsent", {VideoMixerSettings::Mode::passthrough, false, 7}, 0},
                      RouteCase{"offscreen", {VideoMixerSettings::Mode::offscreen, false, 0}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// Muted frames are new black pictures with the live frames' timing; the
// captured picture is left as it was.
TEST(VideoMixerMute, OutputsNewBlackFramesAndLeavesTheInputAlone) {
  for (const auto format : {platform::kCVPixelFormatType_32BGRA, platform::kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange}) {
    auto recorder = std::make_shared<Recorder>();
    VideoMixer mixer;
    mixer.setDelegate(recorder);
    mixer.append(frame(format, 0), 0);
    mixer.setSettings({VideoMixerSettings::Mode::passthrough, true, 0});
    auto live = frame(format, 5, 65, 49);  // odd sides: another layout than the kept picture
    const auto before = bytesOf(*live.imageBuffer());
    mixer.append(live, 0);
    ASSERT_EQ(recorder->outputs.size(), 2u);
    const auto& muted = recorder->outputs[1];
    EXPECT_NE(muted.imageBuffer(), live.imageBuffer());
    EXPECT_EQ(bytesOf(*live.imageBuffer()), before);
    EXPECT_EQ(muted.presentationTimeStamp(), live.presentationTimeStamp());
    EXPECT_EQ(muted.imageBuffer()->width(), 65u);
    const auto* pixels = muted.imageBuffer()->baseAddress();
    if (format == platform::kCVPixelFormatType_32BGRA) {
      EXPECT_EQ((std::vector<std::uint8_t>{pixels[0], pixels[1], pixels[2], pixels[3]}),
                (std::vector<std::uint8_t>{0, 0, 0, 255}));
    } else {
      EXPECT_EQ(pixels[0], 16);
      EXPECT_EQ(muted.imageBuffer()->baseAddressOfPlane(1)[0], 128);
    }
    // Unmuted again: the live frame itself goes out.
    mixer.setSettings({VideoMixerSettings::Mode::passthrough, false, 0});
    mixer.append(live, 0);
    EXPECT_EQ(recorder->outputs[2].imageBuffer(), live.imageBuffer());
  }
}

TEST(VideoMixerSettingsCoding, RoundTripsAndRefusesUnknownModes) {
  const VideoMixerSettings settings{VideoMixerSettings::Mode::offscreen, true, 1};
  const nlohmann::json json = settings;
  EXPECT_EQ(json, nlohmann::json::parse(R"({"mode":"offscreen","isMuted":true,"mainTrack":1})"));
  EXPECT_EQ(json.get<VideoMixerSettings>(), settings);
  auto badMode = json;
  badMode["mode"] = "composite";
  EXPECT_THROW(badMode.get<VideoMixerSettings>(), nlohmann::json::exception);
  auto missing = json;
  missing.erase("isMuted");
  EXPECT_THROW(missing.get<VideoMixerSettings>(), nlohmann::json::exception);
}

}  // namespace
}  // namespace fluvio
