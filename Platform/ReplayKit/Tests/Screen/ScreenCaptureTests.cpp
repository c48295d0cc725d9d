#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <vector>
#include <filesystem>
#include <memory>
#include <string>

#include "Platform/ReplayKit/Tests/Support/RecordedEvents.hpp"
#include "Platform/ReplayKit/Tests/Support/ServiceProcess.hpp"

namespace replaykit_tests {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// An X server of our own with a window that covers its screen in one colour.
class VirtualDisplay {
 public:
  VirtualDisplay(const fs::path& directory, int width, int height) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) throw std::runtime_error("pipe");
    const std::string size = std::to_string(width) + "x" + std::to_string(height) + "x24";
    server_ = std::make_unique<ServiceProcess>(
        std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", std::to_string(pipeFds[1]), "-screen", "0", size,
                                 "-nolisten", "tcp"},
        std::map<std::string, std::string>{}, directory);
    ::close(pipeFds[1]);
    char number[16] = {};
    const auto count = ::read(pipeFds[0], number, sizeof number - 1);
    ::close(pipeFds[0]);
    if (count <= 0) throw std::runtime_error("Xvfb did not start");
    name_ = ":" + std::string(number, std::strlen(number) - (number[std::strlen(number) - 1] == '\n'));
    connection_ = xcb_connect(name_.c_str(), nullptr);
    screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    window_ = xcb_generate_id(connection_);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen_->root, 0, 0, screen_->width_in_pixels,
                      screen_->height_in_pixels, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual, 0, nullptr);
    xcb_map_window(connection_, window_);
    graphics_ = xcb_generate_id(connection_);
    xcb_create_gc(connection_, graphics_, window_, 0, nullptr);
  }
  ~VirtualDisplay() {
    xcb_disconnect(connection_);
    server_->signal(SIGTERM);
    server_->wait(5s);
  }

  const std::string& name() const { return name_; }

  // Fills the window and waits until the server has drawn it.
  void fill(std::uint32_t rgb) {
    xcb_change_gc(connection_, graphics_, XCB_GC_FOREGROUND, &rgb);
    const xcb_rectangle_t all{0, 0, screen_->width_in_pixels, screen_->height_in_pixels};
    xcb_poly_fill_rectangle(connection_, window_, graphics_, 1, &all);
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  }

 private:
  std::unique_ptr<ServiceProcess> server_;
  std::string name_;
  xcb_connection_t* connection_ = nullptr;
  xcb_screen_t* screen_ = nullptr;
  xcb_window_t window_ = 0;
  xcb_gcontext_t graphics_ = 0;
};

TEST(ScreenCapture, DeliversTheDisplayAsItIsNow) {
  char pattern[] = "/tmp/screencapture-XXXXXX";
  const fs::path directory = mkdtemp(pattern);
  {
    VirtualDisplay display(directory, 800, 600);
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
      for (const auto& frame : recorded.video) {
        EXPECT_EQ(frame.width, 800);
        EXPECT_EQ(frame.height, 600);
        EXPECT_EQ(frame.format, "BGRA");
        EXPECT_EQ(frame.blue, blue);
        EXPECT_EQ(frame.green, green);
        EXPECT_EQ(frame.red, red);
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
