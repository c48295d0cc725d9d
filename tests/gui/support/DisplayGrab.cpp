#include "tests/gui/support/DisplayGrab.hpp"

#include <X11/Xutil.h>
#include <cairo.h>
#include <gdk/x11/gdkx.h>

namespace guitesting {

std::optional<DisplayGrab> DisplayGrab::of(GtkWidget* window) {
  GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(window));
  if (surface == nullptr || !GDK_IS_X11_SURFACE(surface)) return std::nullopt;
  Display* display = gdk_x11_display_get_xdisplay(gdk_surface_get_display(surface));
  const Window xid = gdk_x11_surface_get_xid(surface);
  XSync(display, False);
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, xid, &attributes)) return std::nullopt;
  XImage* image = XGetImage(display, xid, 0, 0, static_cast<unsigned>(attributes.width),
                            static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  if (image == nullptr) return std::nullopt;
  DisplayGrab grab;
  grab.width_ = attributes.width;
  grab.height_ = attributes.height;
  grab.bgrx_.resize(static_cast<std::size_t>(grab.width_) * grab.height_ * 4);
  for (int y = 0; y < grab.height_; ++y) {
    for (int x = 0; x < grab.width_; ++x) {
      const unsigned long value = XGetPixel(image, x, y);
      auto* pixel = grab.bgrx_.data() + (static_cast<std::size_t>(y) * grab.width_ + x) * 4;
      pixel[0] = static_cast<std::uint8_t>((value & image->blue_mask) >> __builtin_ctzl(image->blue_mask));
      pixel[1] = static_cast<std::uint8_t>((value & image->green_mask) >> __builtin_ctzl(image->green_mask));
      pixel[2] = static_cast<std::uint8_t>((value & image->red_mask) >> __builtin_ctzl(image->red_mask));
      pixel[3] = 255;
    }
  }
  XDestroyImage(image);
  return grab;
}

DisplayGrab::Pixel DisplayGrab::at(int x, int y) const {
  const auto* pixel = bgrx_.data() + (static_cast<std::size_t>(y) * width_ + x) * 4;
  return {pixel[2], pixel[1], pixel[0]};
}

void DisplayGrab::save(const std::filesystem::path& path) const {
  std::filesystem::create_directories(path.parent_path());
  auto* surface = cairo_image_surface_create_for_data(const_cast<std::uint8_t*>(bgrx_.data()), CAIRO_FORMAT_RGB24,
                                                      width_, height_, width_ * 4);
  cairo_surface_write_to_png(surface, path.c_str());
  cairo_surface_destroy(surface);
}

}  // namespace guitesting
