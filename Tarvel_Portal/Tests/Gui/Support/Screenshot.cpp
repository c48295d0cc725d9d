#include "Tarvel_Portal/Tests/Gui/Support/Screenshot.hpp"

#include <cairo.h>

#include <algorithm>
#include <cstdlib>

#include "tests/gui/support/DisplaySession.hpp"

namespace tarvelportal::testing {
namespace {

struct Rendered {
  cairo_surface_t* surface;
  int width;
  int height;
};

Rendered render(GtkWidget* window) {
  const int width = gtk_widget_get_width(window);
  const int height = gtk_widget_get_height(window);
  auto* paintable = gtk_widget_paintable_new(window);
  auto* snapshot = gtk_snapshot_new();
  gdk_paintable_snapshot(paintable, snapshot, width, height);
  auto* node = gtk_snapshot_free_to_node(snapshot);
  auto* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  if (node != nullptr) {
    auto* cairo = cairo_create(surface);
    gsk_render_node_draw(node, cairo);
    cairo_destroy(cairo);
    gsk_render_node_unref(node);
  }
  g_object_unref(paintable);
  cairo_surface_flush(surface);
  return {surface, width, height};
}

}  // namespace

Screenshot Screenshot::of(GtkWidget* window, const std::vector<GtkWidget*>& dialogs) {
  // A widget with a change not yet laid out draws as nothing.
  guitesting::waitForFrames(window);
  for (auto* dialog : dialogs) guitesting::waitForFrames(dialog);
  auto base = render(window);
  auto* cairo = cairo_create(base.surface);
  if (!dialogs.empty()) {
    cairo_set_source_rgba(cairo, 0, 0, 0, 0.3);  // the window dims behind a modal dialog
    cairo_paint(cairo);
  }
  for (auto* dialog : dialogs) {
    auto layer = render(dialog);
    cairo_set_source_surface(cairo, layer.surface, (base.width - layer.width) / 2.0, (base.height - layer.height) / 2.0);
    cairo_paint(cairo);
    cairo_surface_destroy(layer.surface);
  }
  cairo_destroy(cairo);
  cairo_surface_flush(base.surface);

  Screenshot shot;
  shot.width_ = base.width;
  shot.height_ = base.height;
  const int stride = cairo_image_surface_get_stride(base.surface);
  const auto* data = cairo_image_surface_get_data(base.surface);
  shot.argb_.resize(static_cast<std::size_t>(base.width) * base.height * 4);
  for (int row = 0; row < base.height; ++row) {
    std::copy_n(data + static_cast<std::size_t>(row) * stride, base.width * 4,
                shot.argb_.begin() + static_cast<std::ptrdiff_t>(row) * base.width * 4);
  }
  cairo_surface_destroy(base.surface);
  return shot;
}

Screenshot::Pixel Screenshot::at(int x, int y) const {
  const auto* pixel = argb_.data() + (static_cast<std::size_t>(y) * width_ + x) * 4;
  // Little-endian ARGB32: blue, green, red, alpha in memory.
  return {pixel[2], pixel[1], pixel[0]};
}

std::filesystem::path Screenshot::save(const std::string& name) const {
  const std::filesystem::path directory = TARVEL_PORTAL_SCREENSHOT_DIR;
  std::filesystem::create_directories(directory);
  const auto path = directory / (name + ".png");
  auto* surface = cairo_image_surface_create_for_data(const_cast<std::uint8_t*>(argb_.data()), CAIRO_FORMAT_ARGB32,
                                                      width_, height_, width_ * 4);
  cairo_surface_write_to_png(surface, path.c_str());
  cairo_surface_destroy(surface);
  return path;
}

bool isButtonRed(Screenshot::Pixel pixel) {
  return std::abs(pixel.red - 167) <= 16 && pixel.green <= 30 && pixel.blue <= 30;
}

}  // namespace tarvelportal::testing
