#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Platform/ReplayKit/Tests/Support/ServiceProcess.hpp"
#include "TarvelPortalBroadcast/SharedSettings/BroadcastConfig.hpp"
#include "tests/broadcast/support/NginxIngest.hpp"

namespace broadcast_tests {
namespace {

using namespace std::chrono_literals;
using replaykit_tests::ServiceProcess;
namespace fs = std::filesystem;

const std::string missingCredentialsText =
    "Kein aktiver Stream gefunden. Bitte in der Tarvel-Portal-App zuerst unter \"Live\" einen Stream mit "
    "\"Bildschirm (Handyspiel)\" starten, bevor die Aufnahme hier gestartet wird.";

// Runs a command and gives what it printed on standard output.
std::string output(const std::vector<std::string>& arguments, const fs::path& directory) {
  ServiceProcess process(arguments, {}, directory);
  process.wait(120s);
  return process.standardOutput();
}

// The stored settings live in a configuration directory of the test's own,
// shared with the service through the environment.
class BroadcastTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/broadcast-XXXXXX";
    directory_ = mkdtemp(pattern);
    ::setenv("XDG_CONFIG_HOME", (directory_ / "config").c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(directory_);
  }

  std::unique_ptr<ServiceProcess> startService(std::vector<std::string> options) {
    std::vector<std::string> arguments = {BROADCAST_SERVICE_PATH, "--video", "synthetic", "--audio", "synthetic"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    arguments.push_back(EXTENSION_PATH);
    fs::create_directories(directory_ / "service");
    return std::make_unique<ServiceProcess>(
        arguments, std::map<std::string, std::string>{{"XDG_CONFIG_HOME", (directory_ / "config").string()}},
        directory_ / "service");
  }

  fs::path directory_;
};

TEST_F(BroadcastTest, WithoutBothStoredValuesEndsAtOnceWithTheMessageAndConnectsNowhere) {
  NginxIngest ingest(directory_);
  ASSERT_TRUE(ingest.ready());
  for (const auto& [url, key] : std::vector<std::pair<std::string, std::string>>{
           {"", ""}, {ingest.url(), ""}, {"", "key"}}) {
    tarvelportalbroadcast::saveBroadcastConfig(url, key);
    auto service = startService({"--seconds", "5"});
    ASSERT_EQ(service->wait(3s), 1);
    EXPECT_TRUE(service->standardError().ends_with(missingCredentialsText + "\n")) << service->standardError();
  }
  EXPECT_EQ(ingest.connections(), 0);
}

TEST_F(BroadcastTest, PublishesTheSyntheticScreenAndToneAsH264AndAAC) {
  NginxIngest ingest(directory_);
  ASSERT_TRUE(ingest.ready());
  tarvelportalbroadcast::saveBroadcastConfig(ingest.url(), "screen");
  auto service = startService({"--seconds", "10"});
  ASSERT_EQ(service->wait(60s), 0) << service->standardError();
  EXPECT_EQ(service->standardOutput().find("screen"), std::string::npos) << "the key is never printed";
  EXPECT_FALSE(tarvelportalbroadcast::readBroadcastConfig()) << "finish clears the stored values";

  const auto recording = ingest.recording("screen");
  ASSERT_TRUE(fs::exists(recording));
  const auto video = output({"/usr/bin/ffprobe", "-v", "error", "-select_streams", "v:0", "-count_frames",
                             "-show_entries", "stream=codec_name,profile,level,width,height,nb_read_frames",
                             "-of", "default=nw=1", recording.string()},
                            directory_);
  EXPECT_NE(video.find("codec_name=h264"), std::string::npos) << video;
  EXPECT_NE(video.find("profile=Constrained Baseline"), std::string::npos) << video;
  EXPECT_NE(video.find("level=31"), std::string::npos) << video;
  EXPECT_NE(video.find("width=1280\nheight=720"), std::string::npos) << video;
  const auto frames = std::stoi(video.substr(video.find("nb_read_frames=") + 15));
  EXPECT_NEAR(frames, 300, 10);

  const auto audio = output({"/usr/bin/ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                             "stream=codec_name,sample_rate,channels", "-of", "default=nw=1", recording.string()},
                            directory_);
  EXPECT_NE(audio.find("codec_name=aac\nsample_rate=48000\nchannels=2"), std::string::npos) << audio;

  ServiceProcess decode({"/usr/bin/ffmpeg", "-v", "error", "-i", recording.string(), "-f", "null", "-"}, {},
                        directory_);
  ASSERT_EQ(decode.wait(120s), 0);
  EXPECT_EQ(decode.standardError(), "") << "the recording decodes without a complaint";

  // Decode times strictly increase; audio lasts as long as video.
  std::istringstream packets(output({"/usr/bin/ffprobe", "-v", "error", "-show_entries", "packet=codec_type,dts_time,duration_time",
                                     "-of", "csv=p=0", recording.string()},
                                    directory_));
  double lastVideo = -1, videoEnd = 0, audioEnd = 0;
  for (std::string line; std::getline(packets, line);) {
    std::istringstream fields(line);
    std::string type, dts, duration;
    std::getline(fields, type, ',');
    std::getline(fields, dts, ',');
    std::getline(fields, duration, ',');
    const double time = std::stod(dts);
    const double end = time + (duration.empty() || duration == "N/A" ? 0 : std::stod(duration));
    if (type == "video") {
      EXPECT_GT(time, lastVideo);
      lastVideo = time;
      videoEnd = std::max(videoEnd, end);
    } else {
      audioEnd = std::max(audioEnd, end);
    }
  }
  EXPECT_NEAR(audioEnd, videoEnd, 0.1);

  // Once a second the synthetic picture flashes white and the tone beeps at
  // the same host time: in the recording they meet within 20 ms.
  std::vector<double> flashes, beeps;
  std::istringstream pictures(output({"/usr/bin/ffprobe", "-v", "error", "-f", "lavfi", "-i",
                                      "movie=" + recording.string() + ",signalstats", "-show_entries",
                                      "frame=pts_time:frame_tags=lavfi.signalstats.YAVG", "-of", "csv=p=0"},
                                     directory_));
  for (std::string line; std::getline(pictures, line);) {
    const auto comma = line.find(',');
    if (comma != std::string::npos && std::stod(line.substr(comma + 1)) > 200) flashes.push_back(std::stod(line));
  }
  // Peak level of every millisecond of sound; a beep starts where it jumps.
  std::istringstream sound(output({"/usr/bin/ffprobe", "-v", "error", "-f", "lavfi", "-i",
                                   "amovie=" + recording.string() + ",asetnsamples=n=48:p=0,astats=metadata=1:reset=1",
                                   "-show_entries", "frame=pts_time:frame_tags=lavfi.astats.Overall.Peak_level", "-of",
                                   "csv=p=0"},
                                  directory_));
  double lastLoud = -10;
  for (std::string line; std::getline(sound, line);) {
    const auto comma = line.find(',');
    if (comma == std::string::npos) continue;
    const double time = std::stod(line);
    const double peak = std::stod(line.substr(comma + 1));
    if (peak > -12) {
      if (time - lastLoud > 0.5) beeps.push_back(time);
      lastLoud = time;
    }
  }
  ASSERT_GE(flashes.size(), 9u);
  ASSERT_GE(beeps.size(), 9u);
  for (const double flash : flashes) {
    double nearest = 1;
    for (const double beep : beeps) nearest = std::min(nearest, std::abs(beep - flash));
    EXPECT_LE(nearest, 0.020) << "flash at " << flash;
  }
}

TEST_F(BroadcastTest, ARefusedConnectionEndsWithTheConnectionsErrorAndKeepsTheValues) {
  const std::string url = "rtmp://127.0.0.1:" + std::to_string(freeLoopbackPort()) + "/live";
  tarvelportalbroadcast::saveBroadcastConfig(url, "kept");
  auto service = startService({"--seconds", "10"});
  ASSERT_EQ(service->wait(30s), 1);
  EXPECT_FALSE(service->standardError().empty());
  const auto stored = tarvelportalbroadcast::readBroadcastConfig();
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->key, "kept");
}

TEST_F(BroadcastTest, LosingTheIngestMidBroadcastEndsTheBroadcastWithAnError) {
  auto ingest = std::make_unique<NginxIngest>(directory_);
  ASSERT_TRUE(ingest->ready());
  tarvelportalbroadcast::saveBroadcastConfig(ingest->url(), "lost");
  auto service = startService({});
  ASSERT_TRUE(replaykit_tests::eventually([&] { return fs::exists(ingest->recording("lost")) && fs::file_size(ingest->recording("lost")) > 100'000; }, 30s));
  ingest->kill();
  EXPECT_EQ(service->wait(5s), 1) << service->standardError();
}

}  // namespace
}  // namespace broadcast_tests
