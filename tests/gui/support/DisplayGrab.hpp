#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace guitesting {

// What the X server shows of a window, read back from the server itself.
class DisplayGrab {
 public:
  struct Pixel {
    std::uint8_t red, green, blue;
  };

  // None when the window is not on an X display or cannot be read.
  static std::optional<DisplayGrab> of(GtkWidget* window);

  int width() const noexcept { return width_; }
  int height() const noexcept { return height_; }
  Pixel at(int x, int y) const;
  // As PNG at `path` (folders made).
  void save(const std::filesystem::path& path) const;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint8_t> bgrx_;  // 4 bytes a pixel: blue, green, red, unused
};

}  // namespace guitesting
