#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

#include "TarvelPortalBroadcast/SharedSettings/BroadcastConfig.hpp"
#include "tests/broadcast/support/BroadcastRun.hpp"
#include "tests/broadcast/support/RecordedChecks.hpp"
#include "tests/broadcast/support/RecordingProbe.hpp"
#include "tests/peers/support/NginxRTMPServer.hpp"

namespace broadcast_tests {
namespace {

using namespace std::chrono_literals;

// One 10 s broadcast of the synthetic picture and tone to a recording ingest.
TEST(RecordedBroadcast, TheSyntheticScreenAndToneArriveAsH264AndAACInSync) {
  BroadcastRun run;
  peers::NginxRTMPServer ingest({.record = true});
  const std::string key = "synthetic-screen-key";
  tarvelportalbroadcast::saveBroadcastConfig("rtmp://127.0.0.1:" + std::to_string(ingest.port()) + "/live", key);
  auto service = run.start({"--seconds", "10"});
  ASSERT_EQ(service->wait(40s), 0) << service->standardError();
  const auto printed = service->standardOutput() + service->standardError();
  EXPECT_EQ(printed.find(key), std::string::npos) << "the key is never shown";
  EXPECT_FALSE(tarvelportalbroadcast::readBroadcastConfig()) << "finish clears the stored values";

  const auto recording = ingest.recordPath() / (key + ".flv");
  ASSERT_TRUE(std::filesystem::exists(recording)) << printed;
  expectBroadcastFormat(recording, service->standardOutput(), 300);
  expectWholeEnd(recording, service->standardOutput(), 300);

  // Once a second the picture flashes white and the tone beeps at the same
  // host time. A loaded machine may begin publishing a second or two late, and
  // the flashes before that are gone (the counts and the end say what was
  // lost); five pairs are plenty to judge the sync.
  const auto flashes = flashTimes(recording);
  const auto beeps = beepStarts(recording);
  ASSERT_GE(flashes.size(), 5u);
  ASSERT_GE(beeps.size(), 5u);
  for (const double flash : flashes) {
    double nearest = 1;
    for (const double beep : beeps) nearest = std::min(nearest, std::abs(beep - flash));
    EXPECT_LE(nearest, 0.020) << "flash at " << flash;
  }
}

}  // namespace
}  // namespace broadcast_tests
