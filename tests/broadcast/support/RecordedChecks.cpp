#include "tests/broadcast/support/RecordedChecks.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/broadcast/support/RecordingProbe.hpp"

namespace broadcast_tests {

void expectBroadcastFormat(const std::filesystem::path& recording, int videoFrames) {
  const auto video = streamEntries(recording, "v", "codec_name,profile,level,width,height,nb_read_frames");
  EXPECT_NE(video.find("codec_name=h264\nprofile=Constrained Baseline\nwidth=1280\nheight=720\nlevel=31\n"),
            std::string::npos)
      << video;
  const auto frames = video.find("nb_read_frames=");
  ASSERT_NE(frames, std::string::npos) << video;
  EXPECT_NEAR(std::stoi(video.substr(frames + 15)), videoFrames, 10) << video;

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

}  // namespace broadcast_tests
