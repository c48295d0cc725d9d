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

void setMuted(VideoMixer& mixer, bool muted) { mixer.setSettings({VideoMixerSettings::Mode::passthrough, muted, 0}); }

// While muted the output shows the picture of the last live frame before
// muting, in a buffer of its own with the live frames' timing: neither the
// frame handed on before muting nor the live ones are written, and the camera
// writing its next picture into the kept buffer does not show.
TEST(VideoMixerMute, RepeatsTheLastLivePictureUntilUnmuted) {
  for (const auto format : {platform::kCVPixelFormatType_32BGRA, platform::kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange}) {
    SCOPED_TRACE(format);
    auto recorder = std::make_shared<Recorder>();
    VideoMixer mixer;
    mixer.setDelegate(recorder);
    const auto handedOut = frame(format, 1);
    mixer.append(handedOut, 0);
    const auto atMute = bytesOf(*handedOut.imageBuffer());
    setMuted(mixer, true);
    const auto live = frame(format, 5);
    const auto liveBytes = bytesOf(*live.imageBuffer());
    ASSERT_NE(liveBytes, atMute);
    mixer.append(live, 0);
    // The camera reuses the buffer it handed out before muting.
    handedOut.imageBuffer()->lockBaseAddress(0);
    platform::SyntheticCameraSource::paint(*handedOut.imageBuffer(), 9);
    handedOut.imageBuffer()->unlockBaseAddress(0);
    const auto reused = bytesOf(*handedOut.imageBuffer());
    const auto resized = frame(format, 6, 65, 49);
    mixer.append(resized, 0);

    ASSERT_EQ(recorder->outputs.size(), 3u);
    EXPECT_EQ(recorder->outputs[0].imageBuffer(), handedOut.imageBuffer());
    for (std::size_t index : {1u, 2u}) {
      const auto& muted = recorder->outputs[index];
      EXPECT_NE(muted.imageBuffer(), handedOut.imageBuffer());
      EXPECT_EQ(bytesOf(*muted.imageBuffer()), atMute) << index;
      EXPECT_EQ(muted.imageBuffer()->width(), 64u);
      EXPECT_EQ(muted.formatDescription()->dimensions().width, 64);
    }
    EXPECT_EQ(recorder->outputs[1].presentationTimeStamp(), live.presentationTimeStamp());
    EXPECT_EQ(recorder->outputs[1].formatDescription(), live.formatDescription()) << "the format changed with muting";
    EXPECT_EQ(recorder->outputs[2].presentationTimeStamp(), resized.presentationTimeStamp());
    EXPECT_EQ(bytesOf(*live.imageBuffer()), liveBytes) << "a live frame was written";
    EXPECT_EQ(bytesOf(*handedOut.imageBuffer()), reused) << "the frame handed out before muting was written";
    EXPECT_EQ(recorder->inputs.size(), 3u);
    EXPECT_EQ(recorder->inputs[1].second.imageBuffer(), live.imageBuffer());

    // Unmuted, the live frames themselves go out; muting again keeps the picture current then.
    setMuted(mixer, false);
    mixer.append(live, 0);
    EXPECT_EQ(recorder->outputs.back().imageBuffer(), live.imageBuffer());
    setMuted(mixer, true);
    mixer.append(frame(format, 7), 0);
    EXPECT_EQ(bytesOf(*recorder->outputs.back().imageBuffer()), liveBytes);
    EXPECT_NE(recorder->outputs.back().imageBuffer(), live.imageBuffer());
  }
}

TEST(VideoMixerMute, PassesLiveFramesUntilAPictureIsKept) {
  auto recorder = std::make_shared<Recorder>();
  VideoMixer mixer;
  mixer.setDelegate(recorder);
  setMuted(mixer, true);
  const auto first = frame(platform::kCVPixelFormatType_32BGRA, 1);
  mixer.append(frame(platform::kCVPixelFormatType_32BGRA, 0), 1);  // not the main track: nothing kept
  mixer.append(first, 0);
  mixer.append(frame(platform::kCVPixelFormatType_32BGRA, 2), 0);
  ASSERT_EQ(recorder->outputs.size(), 2u);
  EXPECT_EQ(recorder->outputs[0].imageBuffer(), first.imageBuffer());
  EXPECT_EQ(bytesOf(*recorder->outputs[1].imageBuffer()), bytesOf(*first.imageBuffer()));
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
