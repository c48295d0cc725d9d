#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Platform/ReplayKit/Tests/Support/RecordedEvents.hpp"
#include "Platform/ReplayKit/Tests/Support/ServiceProcess.hpp"

namespace replaykit_tests {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A sound server of our own whose default output is a null sink, and a
// 1 kHz tone played into it.
class SoundServer {
 public:
  explicit SoundServer(const fs::path& directory) : directory_(directory) {
    fs::create_directories(directory / "server");
    ::chmod((directory / "server").c_str(), 0700);
    const auto socket = (directory / "server" / "native").string();
    environment_ = {{"HOME", (directory / "server").string()},
                    {"XDG_RUNTIME_DIR", (directory / "server").string()},
                    {"PULSE_RUNTIME_PATH", (directory / "server" / "run").string()},
                    {"PULSE_SERVER", "unix:" + socket}};
    server_ = std::make_unique<ServiceProcess>(
        std::vector<std::string>{"/usr/bin/pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                                 "--use-pid-file=no", "-L", "module-null-sink sink_name=out", "-L",
                                 "module-native-protocol-unix auth-anonymous=1 socket=" + socket},
        environment_, directory / "server");
    ready_ = eventually([&] { return fs::exists(socket); }, 10s);
    fs::create_directories(directory / "player");
    player_ = std::make_unique<ServiceProcess>(
        std::vector<std::string>{"/bin/sh", "-c",
                                 "ffmpeg -v error -re -f lavfi -i sine=frequency=1000:duration=30 -af volume=4 "
                                 "-f s16le -ar 48000 -ac 2 - | pacat --latency-msec=20 --raw --rate=48000 --channels=2 --format=s16le"},
        environment_, directory / "player");
    // The server's null sink runs only while something plays into it.
    playing_ = eventually(
        [&] {
          ServiceProcess list({"/usr/bin/pactl", "list", "short", "sink-inputs"}, environment_, directory / "player");
          return list.wait(5s) == 0 && !list.standardOutput().empty();
        },
        10s);
  }
  ~SoundServer() {
    player_.reset();
    server_->signal(SIGTERM);
    server_->wait(5s);
  }

  bool ready() const { return ready_ && playing_; }
  const std::map<std::string, std::string>& environment() const { return environment_; }

 private:
  fs::path directory_;
  std::map<std::string, std::string> environment_;
  std::unique_ptr<ServiceProcess> server_;
  std::unique_ptr<ServiceProcess> player_;
  bool ready_ = false;
  bool playing_ = false;
};

TEST(SoundCapture, RecordsWhatTheAppsPlayAsGaplessAppAudio) {
  char pattern[] = "/tmp/soundcapture-XXXXXX";
  const fs::path directory = mkdtemp(pattern);
  {
    SoundServer sound(directory);
    ASSERT_TRUE(sound.ready());
    auto environment = sound.environment();
    environment["RECORDING_EXTENSION_LOG"] = (directory / "events").string();
    ServiceProcess service({BROADCAST_SERVICE_PATH, "--video", "synthetic", "--audio", "pulse", "--seconds", "4",
                            "--principal-class", "RecordingHandler", RECORDING_EXTENSION_PATH},
                           environment, directory);
    ASSERT_EQ(service.wait(20s), 0) << service.standardError();
    const auto recorded = RecordedEvents::read(directory / "events");
    // A fresh server takes a moment to run its sink at low latency, so
    // somewhat less than the 4 s arrive; never more.
    ASSERT_GE(recorded.appAudio.size(), 94u);
    ASSERT_LE(recorded.appAudio.size(), 188u);
    std::size_t loud = 0;
    for (std::size_t index = 0; index < recorded.appAudio.size(); ++index) {
      const auto& buffer = recorded.appAudio[index];
      EXPECT_EQ(buffer.channels, 2);
      EXPECT_EQ(buffer.frames, 1024);
      if (buffer.firstLoudFrame >= 0) ++loud;
      if (index > 0) {
        EXPECT_LE(std::llabs(buffer.pts - recorded.appAudio[index - 1].pts - 1024LL * 1'000'000'000 / 48'000), 1);
      }
    }
    EXPECT_GE(loud, recorded.appAudio.size() / 2) << "the played tone reached the app audio";
    ASSERT_FALSE(recorded.microphone.empty());
    EXPECT_EQ(recorded.microphone.front().channels, 1);
  }
  fs::remove_all(directory);
}

}  // namespace
}  // namespace replaykit_tests
