#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "Platform/ReplayKit/Tests/Support/ServiceProcess.hpp"

namespace replaykit_tests {

// An X server of our own (Xvfb on a free display) with a window that covers
// its screen, and a small square window above it that can be moved.
class VirtualDisplay {
 public:
  VirtualDisplay(const std::filesystem::path& directory, int width, int height);
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // The value for DISPLAY.
  const std::string& name() const { return name_; }

  // Fills the screen window and waits until the server has drawn it.
  void fill(std::uint32_t rgb);
  // Shows the square in `rgb` with its top left corner at (x, y) and waits
  // until the server has moved it.
  void showSquare(int x, int y, std::uint32_t rgb);

 private:
  void sync();

  std::unique_ptr<ServiceProcess> server_;
  std::string name_;
  xcb_connection_t* connection_ = nullptr;
  xcb_screen_t* screen_ = nullptr;
  xcb_window_t window_ = 0;
  xcb_window_t square_ = 0;
  xcb_gcontext_t graphics_ = 0;
};

}  // namespace replaykit_tests
