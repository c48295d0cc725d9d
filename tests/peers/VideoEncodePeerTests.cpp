// What our compression session writes at the broadcast's settings, as an
// independent reader (ffprobe) sees it.

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "Fluvio/Sources/Codec/VTSessionConvertible.hpp"
#include "Fluvio/Sources/Codec/VideoCodecSettings.hpp"
#include "Fluvio/Sources/ISO/NALUnitReader.hpp"
#include "Platform/VideoToolbox/Tests/support/SampleStream.hpp"
#include "Platform/VideoToolbox/Tests/support/TestPattern.hpp"
#include "tests/peers/support/Process.hpp"

namespace fluvio {
namespace {

using platform::CMSampleBuffer;

constexpr int frameCount = 60;
const std::vector<std::uint8_t> startCode{0x00, 0x00, 0x00, 0x01};

std::vector<CMSampleBuffer> encodeBroadcastFrames() {
  const VideoCodecSettings settings({1280, 720}, 2'200'000, std::string(platform::kVTProfileLevel_H264_Baseline_3_1));
  std::shared_ptr<VTSessionConvertible> session;
  auto [stream, continuation] = videotest::SampleStream::makeStream();
  for (int frame = 1; frame <= frameCount; ++frame) {
    const auto sample = videotest::makeVideoSample(videotest::makeBGRA(1280, 720, frame), frame);
    if (!session) session = makeSession(settings, sample.formatDescription(), false);
    session->convert(sample, continuation);
  }
  return videotest::collectSamples(stream, frameCount);
}

TEST(VideoEncodePeer, FfprobeReadsConstrainedBaselineLevelThreeOneAt720p) {
  const auto samples = encodeBroadcastFrames();
  ASSERT_EQ(samples.size(), std::size_t{frameCount});

  peers::TemporaryDirectory directory;
  const auto path = directory.path() / "broadcast.h264";
  {
    std::ofstream file(path, std::ios::binary);
    const NALUnitReader reader;
    for (const auto& sample : samples) {
      for (const auto& unit : reader.read(sample)) {
        file.write(reinterpret_cast<const char*>(startCode.data()), static_cast<std::streamsize>(startCode.size()));
        file.write(reinterpret_cast<const char*>(unit.data()), static_cast<std::streamsize>(unit.size()));
      }
    }
  }
  const auto result = peers::run("ffprobe -v error -count_frames -select_streams v:0 -show_streams -of json " +
                                 peers::quoted(path.string()));
  ASSERT_EQ(result.exitCode, 0) << result.output;
  const auto stream = nlohmann::json::parse(result.output).at("streams").at(0);
  EXPECT_EQ(stream.at("codec_name"), "h264");
  EXPECT_EQ(stream.at("profile"), "Constrained Baseline");
  EXPECT_EQ(stream.at("level"), 31);
  EXPECT_EQ(stream.at("width"), 1280);
  EXPECT_EQ(stream.at("height"), 720);
  EXPECT_EQ(stream.at("nb_read_frames"), std::to_string(frameCount));
}

}  // namespace
}  // namespace fluvio
