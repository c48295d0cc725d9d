#include "Platform/ReplayKit/Tests/Support/VirtualDisplay.hpp"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <vector>

namespace replaykit_tests {
namespace {

using namespace std::chrono_literals;

constexpr std::uint16_t squareSide = 160;

}  // namespace

VirtualDisplay::VirtualDisplay(const std::filesystem::path& directory, int width, int height) {
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

VirtualDisplay::~VirtualDisplay() {
  xcb_disconnect(connection_);
  server_->signal(SIGTERM);
  server_->wait(5s);
}

void VirtualDisplay::fill(std::uint32_t rgb) {
  xcb_change_gc(connection_, graphics_, XCB_GC_FOREGROUND, &rgb);
  const xcb_rectangle_t all{0, 0, screen_->width_in_pixels, screen_->height_in_pixels};
  xcb_poly_fill_rectangle(connection_, window_, graphics_, 1, &all);
  sync();
}

void VirtualDisplay::showSquare(int x, int y, std::uint32_t rgb) {
  if (!square_) {
    square_ = xcb_generate_id(connection_);
    const std::uint32_t background = rgb;
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, square_, window_, 0, 0, squareSide, squareSide, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual, XCB_CW_BACK_PIXEL, &background);
    xcb_map_window(connection_, square_);
  }
  const std::uint32_t position[] = {static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)};
  xcb_configure_window(connection_, square_, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, position);
  xcb_change_window_attributes(connection_, square_, XCB_CW_BACK_PIXEL, &rgb);
  xcb_clear_area(connection_, 0, square_, 0, 0, 0, 0);
  sync();
}

void VirtualDisplay::sync() {
  std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

}  // namespace replaykit_tests
