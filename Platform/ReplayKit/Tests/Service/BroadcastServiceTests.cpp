#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <utility>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Platform/ReplayKit/Tests/Support/RecordedEvents.hpp"
#include "Platform/ReplayKit/Tests/Support/ServiceProcess.hpp"

namespace replaykit_tests {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr long long second = 1'000'000'000;
constexpr long long framePeriod = second / 30;
constexpr long long audioBufferPeriod = 1024 * second / 48'000;

class BroadcastServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/broadcastservice-XXXXXX";
    directory_ = mkdtemp(pattern);
  }
  void TearDown() override {
    // The service leaves without running exit handlers, so a sanitizer's
    // report shows only in what it printed.
    if (process_) {
      EXPECT_EQ(process_->standardError().find("Sanitizer"), std::string::npos) << process_->standardError();
    }
    process_.reset();
    fs::remove_all(directory_);
  }

  fs::path log() const { return directory_ / "events"; }

  // The service with the recording extension and the synthetic sources.
  ServiceProcess& start(std::vector<std::string> options, std::map<std::string, std::string> environment = {}) {
    std::vector<std::string> arguments = {BROADCAST_SERVICE_PATH, "--video", "synthetic", "--audio", "synthetic",
                                          "--principal-class", "RecordingHandler"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    arguments.push_back(RECORDING_EXTENSION_PATH);
    environment["RECORDING_EXTENSION_LOG"] = log();
    process_ = std::make_unique<ServiceProcess>(arguments, environment, directory_);
    return *process_;
  }
  RecordedEvents events() const { return RecordedEvents::read(log()); }
  bool waitForCall(const std::string& call, std::size_t count = 1) const {
    return eventually([&] { return events().count(call) >= count; }, 10s);
  }

  fs::path directory_;
  std::unique_ptr<ServiceProcess> process_;
};

// Frames lie on the 30 fps grid counted from the first one, to the
// nanosecond (each tick's time is rounded down to a whole one).
bool onFrameGrid(long long pts, long long first) {
  const long long offset = pts - first;
  const long long index = (offset * 30 + second / 2) / second;
  return std::llabs(offset * 30 - index * second) < 30;
}

TEST_F(BroadcastServiceTest, FeedsFramesAndBothAudioKindsOnTheHostClockUntilTheTimeIsUp) {
  auto& service = start({"--seconds", "2"});
  ASSERT_EQ(service.wait(15s), 0) << service.standardError();
  const auto recorded = events();
  ASSERT_GE(recorded.calls.size(), 2u);
  EXPECT_EQ(recorded.calls.front(), "started");
  EXPECT_EQ(recorded.calls.back(), "finished");
  EXPECT_EQ(recorded.count("finished"), 1u);

  // 60 ticks in 2 s, each delivered or counted as dropped; a loaded
  // machine may drop some, never add any.
  EXPECT_EQ(recorded.video.size() + droppedFrames(service.standardOutput()), 60u) << service.standardOutput();
  EXPECT_GE(recorded.video.size(), 30u);
  for (std::size_t index = 0; index < recorded.video.size(); ++index) {
    const auto& frame = recorded.video[index];
    EXPECT_EQ(frame.width, 1280);
    EXPECT_EQ(frame.height, 720);
    EXPECT_EQ(frame.format, "420v");
    EXPECT_TRUE(onFrameGrid(frame.pts, recorded.video.front().pts)) << index;
    if (index > 0) {
      EXPECT_GT(frame.pts, recorded.video[index - 1].pts);
    }
  }
  EXPECT_LT(recorded.video.back().pts - recorded.video.front().pts, 2 * second);

  // Audio is never dropped: gapless 1024-frame buffers covering the 2 s.
  ASSERT_EQ(recorded.appAudio.size(), 94u);
  ASSERT_EQ(recorded.microphone.size(), 94u);
  for (std::size_t index = 1; index < recorded.appAudio.size(); ++index) {
    const long long step = recorded.appAudio[index].pts - recorded.appAudio[index - 1].pts;
    EXPECT_LE(std::llabs(step - audioBufferPeriod), 1) << index;
  }
  EXPECT_EQ(recorded.appAudio.front().channels, 2);
  EXPECT_EQ(recorded.microphone.front().channels, 1);
  EXPECT_EQ(recorded.appAudio.front().frames, 1024);
  EXPECT_EQ(recorded.appAudio.front().pts, recorded.microphone.front().pts);
  EXPECT_NE(service.standardOutput().find("broadcast: "), std::string::npos);
}

TEST_F(BroadcastServiceTest, WithoutAMicrophoneOnlyTheAppAudioIsDelivered) {
  auto& service = start({"--seconds", "1", "--no-microphone"});
  ASSERT_EQ(service.wait(15s), 0) << service.standardError();
  const auto recorded = events();
  EXPECT_EQ(recorded.appAudio.size(), 47u);
  EXPECT_TRUE(recorded.microphone.empty());
  // 30 ticks, each delivered or counted as dropped.
  EXPECT_EQ(recorded.video.size() + droppedFrames(service.standardOutput()), 30u) << service.standardOutput();
  EXPECT_GE(recorded.video.size(), 15u);
}

TEST_F(BroadcastServiceTest, FlashesAndBeepsAtTheSameHostTimeOnceASecond) {
  auto& service = start({"--seconds", "3.2"});
  ASSERT_EQ(service.wait(15s), 0) << service.standardError();
  const auto recorded = events();
  std::vector<long long> flashes, beeps;
  for (const auto& frame : recorded.video) {
    if (frame.meanLuma > 250) flashes.push_back(frame.pts);
    EXPECT_TRUE(frame.meanLuma > 250 || frame.meanLuma < 120) << "only flashes are bright";
  }
  // A beep spans several buffers; it starts in the first loud one.
  bool inBeep = false;
  for (const auto& buffer : recorded.appAudio) {
    if (buffer.firstLoudFrame >= 0 && !inBeep) beeps.push_back(buffer.pts + buffer.firstLoudFrame * second / 48'000);
    inBeep = buffer.firstLoudFrame >= 0;
  }
  ASSERT_GE(flashes.size(), 3u);
  ASSERT_EQ(beeps.size(), 4u);
  for (std::size_t index = 1; index < beeps.size(); ++index) {
    EXPECT_LE(std::llabs(beeps[index] - beeps[index - 1] - second), 1'000'000) << "a beep a second";
  }
  for (const long long flash : flashes) {
    long long nearest = second;
    for (const long long beep : beeps) nearest = std::min(nearest, std::llabs(beep - flash));
    // The beep's first loud sample comes a quarter cycle of 1 kHz after its start.
    EXPECT_LE(nearest, 1'000'000) << flash;
  }
}

TEST_F(BroadcastServiceTest, FinishesOnInterruptAndTerminate) {
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    fs::remove(log());
    auto& service = start({});
    ASSERT_TRUE(eventually([&] { return events().video.size() >= 5; }, 10s));
    EXPECT_FALSE(service.wait(0ms)) << "runs until told to stop";
    service.signal(signal);
    ASSERT_EQ(service.wait(10s), 0) << service.standardError();
    EXPECT_EQ(events().calls.back(), "finished");
  }
}

TEST_F(BroadcastServiceTest, PausesAndResumesWithoutDeliveringInBetween) {
  auto& service = start({});
  ASSERT_TRUE(eventually([&] { return events().video.size() >= 5; }, 10s));
  service.signal(SIGTSTP);
  ASSERT_TRUE(waitForCall("paused"));
  const auto pausedAt = std::chrono::steady_clock::now();
  // A real window: the service's clock runs in its own process, so only
  // time lets ten frames and several audio buffers fall due while paused.
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(events().calls.back(), "paused") << "nothing delivered while paused";
  // The service stands still at least from the pause seen to the resume sent.
  const auto heldPaused = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - pausedAt);
  service.signal(SIGCONT);
  ASSERT_TRUE(waitForCall("resumed"));
  ASSERT_TRUE(eventually([&] { return events().video.size() >= 10; }, 10s));
  service.signal(SIGTERM);
  ASSERT_EQ(service.wait(10s), 0);

  const auto recorded = events();
  const auto paused = std::find(recorded.calls.begin(), recorded.calls.end(), "paused");
  EXPECT_EQ(*std::next(paused), "resumed");
  long long before = 0, after = 0;
  for (const auto& frame : recorded.video) {
    if (after == 0 && before != 0 && frame.pts - before > 300'000'000) after = frame.pts;
    if (after == 0) before = frame.pts;
    EXPECT_TRUE(onFrameGrid(frame.pts, recorded.video.front().pts));
  }
  // A frame is still delivered up to one period after its tick, so the first
  // one after the resume may carry a tick that fell due just before it.
  EXPECT_GE(after - before + framePeriod, heldPaused.count()) << "time went on while paused";
}

TEST_F(BroadcastServiceTest, ASlowExtensionLosesFramesButNotTime) {
  auto& service = start({"--seconds", "2"}, {{"RECORDING_EXTENSION_VIDEO_DELAY_MS", "100"}});
  ASSERT_EQ(service.wait(15s), 0) << service.standardError();
  const auto recorded = events();
  // About one frame in three gets through; each keeps its own tick's time.
  EXPECT_GE(recorded.video.size(), 12u);
  EXPECT_LE(recorded.video.size(), 21u);
  for (const auto& frame : recorded.video) EXPECT_TRUE(onFrameGrid(frame.pts, recorded.video.front().pts));
  EXPECT_GE(recorded.video.back().pts - recorded.video.front().pts, 1'600'000'000);
  EXPECT_EQ(recorded.appAudio.size(), 94u) << "audio does not wait for video";
  const auto summary = service.standardOutput();
  EXPECT_NE(summary.find(std::to_string(recorded.video.size()) + " frames delivered"), std::string::npos) << summary;
  const auto dropped = droppedFrames(summary);
  // Every tick before the end is delivered or counted, and none after it.
  EXPECT_EQ(dropped + recorded.video.size(), 60u) << summary;
}

// Sanitizers keep freed memory in quarantine and add shadow memory, so the
// resident size says nothing about what the service holds.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool residentSizeTellsWhatIsHeld = false;
#else
constexpr bool residentSizeTellsWhatIsHeld = true;
#endif

// The service draws into four pooled pictures. An extension that keeps
// fewer never runs it short; one that keeps four or more gets no fifth: the
// remaining ticks are counted as dropped and the service stays at the size
// of a few frames (every frame of the two seconds held would be over 80 MB).
TEST_F(BroadcastServiceTest, AnExtensionHoldingFramesGetsNoMoreThanThePooledPictures) {
  for (const auto& [held, delivered] : {std::pair{3u, 30u}, std::pair{4u, 4u}, std::pair{60u, 4u}}) {
    SCOPED_TRACE(held);
    fs::remove(log());
    auto& service = start({"--seconds", "2"}, {{"RECORDING_EXTENSION_HOLD_FRAMES", std::to_string(held)}});
    ASSERT_EQ(service.wait(15s), 0) << service.standardError();
    const auto recorded = events();
    EXPECT_EQ(recorded.video.size() + droppedFrames(service.standardOutput()), 60u) << service.standardOutput();
    if (held < 4) {
      EXPECT_GE(recorded.video.size(), delivered);
    } else {
      EXPECT_EQ(recorded.video.size(), delivered);
    }
    std::cout << "peak resident size holding " << held << " frames: " << service.peakResidentBytes() / (1 << 20)
              << " MiB\n";
    if (residentSizeTellsWhatIsHeld) EXPECT_LT(service.peakResidentBytes(), std::size_t{48} << 20);
  }
}

TEST_F(BroadcastServiceTest, AnErrorFromTheExtensionEndsTheBroadcastWithItsText) {
  const std::string text = "Kein Stream: bitte zuerst unter \"Live\" starten \xC3\xBC";
  auto& service = start({"--seconds", "5"}, {{"RECORDING_EXTENSION_FAIL", text}});
  ASSERT_EQ(service.wait(3s), 1);
  EXPECT_TRUE(service.standardError().ends_with(text + "\n")) << service.standardError();
  const auto recorded = events();
  EXPECT_EQ(recorded.calls, std::vector<std::string>{"started"}) << "nothing fed, no finish after an error";
}

TEST_F(BroadcastServiceTest, WaitsForTheExtensionToLetGoOfItsHandler) {
  auto& service = start({"--seconds", "0.5"}, {{"RECORDING_EXTENSION_LINGER_MS", "600"}});
  ASSERT_EQ(service.wait(15s), 0);
  EXPECT_EQ(events().calls.back(), "released");
}

TEST_F(BroadcastServiceTest, RefusesWhatItCannotRun) {
  struct Case {
    std::vector<std::string> arguments;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{BROADCAST_SERVICE_PATH, "/nonexistent/extension.so"}, "cannot load the extension"},
      {{BROADCAST_SERVICE_PATH, "--principal-class", "Missing", RECORDING_EXTENSION_PATH}, "no principal class Missing"},
      {{BROADCAST_SERVICE_PATH, "--seconds", "0", RECORDING_EXTENSION_PATH}, "positive number"},
      {{BROADCAST_SERVICE_PATH, "--video", "camera", RECORDING_EXTENSION_PATH}, "unknown video input"},
      {{BROADCAST_SERVICE_PATH}, "no extension module"},
  };
  for (const auto& testCase : cases) {
    ServiceProcess service(testCase.arguments, {}, directory_);
    EXPECT_EQ(service.wait(5s), 2);
    EXPECT_NE(service.standardError().find(testCase.message), std::string::npos) << service.standardError();
  }
}

}  // namespace
}  // namespace replaykit_tests
