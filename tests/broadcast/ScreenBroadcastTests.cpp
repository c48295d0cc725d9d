#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "Platform/ReplayKit/Tests/Support/VirtualDisplay.hpp"
#include "TarvelPortalBroadcast/SharedSettings/BroadcastConfig.hpp"
#include "tests/broadcast/support/BroadcastRun.hpp"
#include "tests/broadcast/support/RecordedChecks.hpp"
#include "tests/peers/support/NginxRTMPServer.hpp"

namespace broadcast_tests {
namespace {

using namespace std::chrono_literals;

TEST(ScreenBroadcast, AVirtualDisplayWithAMovingWindowIsRecordedLikeTheSyntheticPicture) {
  BroadcastRun run;
  peers::NginxRTMPServer ingest({.record = true});
  replaykit_tests::VirtualDisplay display(run.directory(), 1280, 720);
  display.fill(0x204060);
  std::atomic<bool> moving = true;
  std::thread mover([&] {
    for (int step = 0; moving; ++step) {
      display.showSquare(step * 7 % 1100, 280, step % 2 ? 0xe08020 : 0x20e080);
      // Paces the window's movement, as a user's drag would; it waits for no event.
      std::this_thread::sleep_for(20ms);
    }
  });
  tarvelportalbroadcast::saveBroadcastConfig("rtmp://127.0.0.1:" + std::to_string(ingest.port()) + "/live", "x11");
  auto service = run.start({"--video", "screen", "--seconds", "10"}, {{"DISPLAY", display.name()}});
  const auto exitCode = service->wait(40s);
  moving = false;
  mover.join();
  ASSERT_EQ(exitCode, 0) << service->standardError();
  expectBroadcastFormat(ingest.recordPath() / "x11.flv", service->standardOutput(), 300);
}

}  // namespace
}  // namespace broadcast_tests
