#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <map>
#include <vector>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "Platform/ReplayKit/Tests/Support/RecordedEvents.hpp"
#include "Platform/ReplayKit/Tests/Support/ServiceProcess.hpp"
#include "Platform/ReplayKit/Tests/Support/VirtualDisplay.hpp"

namespace replaykit_tests {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Read in bands: every band of the picture carries the fill, on a screen of
// even size and on one of odd size, whose last chroma row and column stand alone.
TEST(ScreenCapture, DeliversTheDisplayAsItIsNow) {
  char pattern[] = "/tmp/screencapture-XXXXXX";
  const fs::path directory = mkdtemp(pattern);
  for (const auto& [width, height] : {std::pair{800, 600}, std::pair{637, 479}}) {
    SCOPED_TRACE(testing::Message() << width << "x" << height);
    VirtualDisplay display(directory, width, height);
    struct Case {
      std::uint32_t rgb;
      int blue, green, red;
    };
    for (const auto& [rgb, blue, green, red] : {Case{0xd02010, 0x10, 0x20, 0xd0}, Case{0x10c0f0, 0xf0, 0xc0, 0x10}}) {
      display.fill(rgb);
      fs::remove(directory / "events");
      ServiceProcess service({BROADCAST_SERVICE_PATH, "--video", "screen", "--audio", "synthetic", "--seconds", "1",
                              "--principal-class", "RecordingHandler", RECORDING_EXTENSION_PATH},
                             {{"DISPLAY", display.name()}, {"RECORDING_EXTENSION_LOG", directory / "events"}},
                             directory);
      ASSERT_EQ(service.wait(15s), 0) << service.standardError();
      const auto recorded = RecordedEvents::read(directory / "events");
      // Each tick of the second is delivered or counted as dropped.
      EXPECT_EQ(recorded.video.size() + droppedFrames(service.standardOutput()), 30u) << service.standardOutput();
      ASSERT_GE(recorded.video.size(), 15u);
      const int luma = (77 * red + 150 * green + 29 * blue) >> 8;
      for (const auto& frame : recorded.video) {
        EXPECT_EQ(frame.width, width);
        EXPECT_EQ(frame.height, height);
        EXPECT_EQ(frame.format, "420v");
        // Through video-range 4:2:0 and back: within a few steps of the fill.
        EXPECT_NEAR(frame.meanLuma, luma, 3) << "a band left out would darken the mean";
        EXPECT_NEAR(frame.blue, blue, 3);
        EXPECT_NEAR(frame.green, green, 3);
        EXPECT_NEAR(frame.red, red, 3);
      }
    }
  }
  fs::remove_all(directory);
}

TEST(ScreenCapture, AScreenThatCannotBeOpenedIsReported) {
  char pattern[] = "/tmp/screencapture-XXXXXX";
  const fs::path directory = mkdtemp(pattern);
  ServiceProcess service({BROADCAST_SERVICE_PATH, "--video", "screen", "--principal-class", "RecordingHandler",
                          RECORDING_EXTENSION_PATH},
                         {{"DISPLAY", ":9999"}, {"RECORDING_EXTENSION_LOG", directory / "events"}}, directory);
  EXPECT_EQ(service.wait(10s), 2);
  EXPECT_NE(service.standardError().find("cannot open the X11 display"), std::string::npos);
  fs::remove_all(directory);
}

}  // namespace
}  // namespace replaykit_tests
