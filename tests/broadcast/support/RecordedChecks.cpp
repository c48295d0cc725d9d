#include "tests/broadcast/support/RecordedChecks.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "Platform/ReplayKit/Tests/Support/RecordedEvents.hpp"
#include "tests/broadcast/support/RecordingProbe.hpp"

namespace broadcast_tests {

void expectBroadcastFormat(const std::filesystem::path& recording, const std::string& summary, std::size_t ticks) {
  const auto video = streamEntries(recording, "v", "codec_name,profile,level,width,height,nb_read_frames");
  EXPECT_NE(video.find("codec_name=h264\nprofile=Constrained Baseline\nwidth=1280\nheight=720\nlevel=31\n"),
            std::string::npos)
      << video;
  const auto frames = video.find("nb_read_frames=");
  ASSERT_NE(frames, std::string::npos) << video;
  // Every tick is delivered or dropped by the service, every frame the
  // extension sent is recorded, and what it did not send it counts as dropped
  // (those before the publication began among them); a busy machine may lose
  // a few ticks beyond those, no more.
  const std::size_t recorded = std::stoul(video.substr(frames + 15));
  using replaykit_tests::summaryCount;
  EXPECT_EQ(summaryCount(summary, " frames delivered") + replaykit_tests::droppedFrames(summary), ticks) << summary;
  EXPECT_EQ(recorded, summaryCount(summary, " frames and")) << summary;
  EXPECT_GE(recorded + summaryCount(summary, " buffers dropped by the extension"), ticks * 9 / 10) << summary;

  const auto audio = streamEntries(recording, "a", "codec_name,sample_rate,channels");
  EXPECT_EQ(audio, "codec_name=aac\nsample_rate=48000\nchannels=2\n");

  EXPECT_EQ(decodeComplaints(recording), "");

  double lastVideo = -1, videoEnd = 0, audioEnd = 0;
  int unordered = 0;
  for (const auto& packet : recordedPackets(recording)) {
    if (packet.isVideo) {
      unordered += !(packet.dts > lastVideo);
      lastVideo = packet.dts;
      videoEnd = std::max(videoEnd, packet.pts + packet.duration);
    } else {
      audioEnd = std::max(audioEnd, packet.pts + packet.duration);
    }
  }
  EXPECT_EQ(unordered, 0);
  EXPECT_GT(videoEnd, 0);
  EXPECT_NEAR(audioEnd, videoEnd, 0.1);
}

void expectWholeEnd(const std::filesystem::path& recording, const std::string& summary, std::size_t ticks) {
  // The first flash names the tick of the first recorded picture (frames
  // before the publication began are dropped); from it, the last picture
  // recorded must be the last tick delivered, and the sound must run to the
  // end of the last buffer delivered, within one AAC frame.
  constexpr int framesPerSecond = 30;
  constexpr double aacFrame = 1024.0 / 48000;
  double lastPicture = 0, audioEnd = 0;
  for (const auto& packet : recordedPackets(recording)) {
    if (packet.isVideo) {
      lastPicture = std::max(lastPicture, packet.pts);
    } else {
      audioEnd = std::max(audioEnd, packet.pts + packet.duration);
    }
  }
  const auto flashes = flashTimes(recording);
  ASSERT_FALSE(flashes.empty());
  const long firstTick = (framesPerSecond - std::lround(flashes.front() * framesPerSecond) % framesPerSecond) %
                         framesPerSecond;
  const long lastTick = firstTick + std::lround(lastPicture * framesPerSecond);
  const long droppedAtTheService = static_cast<long>(replaykit_tests::droppedFrames(summary));
  EXPECT_LE(lastTick, static_cast<long>(ticks) - 1) << summary;
  EXPECT_GE(lastTick, static_cast<long>(ticks) - 1 - droppedAtTheService) << summary;
  const double seconds = static_cast<double>(ticks) / framesPerSecond;
  const double deliveredSoundEnd =
      std::ceil(seconds / aacFrame) * aacFrame - static_cast<double>(firstTick) / framesPerSecond;
  EXPECT_NEAR(audioEnd, deliveredSoundEnd, aacFrame) << summary;
}

}  // namespace broadcast_tests
