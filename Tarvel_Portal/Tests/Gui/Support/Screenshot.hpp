#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tarvelportal::testing {

// A window as drawn, with any dialogs over it, kept as pixels and written as PNG.
class Screenshot {
 public:
  struct Pixel {
    std::uint8_t red, green, blue;
  };

  // `window` with each of `dialogs` centred over it.
  static Screenshot of(GtkWidget* window, const std::vector<GtkWidget*>& dialogs = {});

  int width() const noexcept { return width_; }
  int height() const noexcept { return height_; }
  Pixel at(int x, int y) const;
  // Written under the build tree's screenshot folder; returns the path.
  std::filesystem::path save(const std::string& name) const;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint8_t> argb_;  // cairo's ARGB32, premultiplied
};

// Whether `pixel` is the start button's red.
bool isButtonRed(Screenshot::Pixel pixel);

}  // namespace tarvelportal::testing
