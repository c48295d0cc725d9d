#include "Platform/CoreGraphics/CGImagePNG.hpp"

#include <cairo.h>

#include "Platform/CoreGraphics/CGContext.hpp"

namespace platform {

bool writePNG(const CGImage& image, const std::filesystem::path& path) {
  if (image.pixelFormat() != CGImagePixelFormat::argb8888) return false;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(image.width()),
                                                        static_cast<int>(image.height()));
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return false;
  }
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface));
  for (std::size_t y = 0; y < image.height(); ++y) {
    const std::uint8_t* in = image.data() + y * image.bytesPerRow();
    auto* out = reinterpret_cast<std::uint32_t*>(data + y * stride);
    for (std::size_t x = 0; x < image.width(); ++x) {
      const std::uint32_t alpha = in[x * 4];
      const auto premultiply = [alpha](std::uint32_t c) { return (c * alpha + 127) / 255; };
      out[x] = alpha << 24 | premultiply(in[x * 4 + 1]) << 16 | premultiply(in[x * 4 + 2]) << 8 | premultiply(in[x * 4 + 3]);
    }
  }
  cairo_surface_mark_dirty(surface);
  const bool written = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return written;
}

std::shared_ptr<CGImage> readPNG(const std::filesystem::path& path) {
  cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  const int width = cairo_image_surface_get_width(surface), height = cairo_image_surface_get_height(surface);
  auto context = CGContext::makeBitmap(width, height, CGContext::Kind::rgba);
  std::shared_ptr<CGImage> image;
  if (context) {
    cairo_t* cairo = context->cairoContext();
    cairo_set_source_surface(cairo, surface, 0, 0);
    cairo_set_operator(cairo, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cairo);
    image = context->makeImage();
  }
  cairo_surface_destroy(surface);
  return image;
}

}  // namespace platform
