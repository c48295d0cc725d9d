#include "Platform/CoreGraphics/CGContext.hpp"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace platform {

namespace {

constexpr std::int64_t maximumSide = 16384;

void setSourceColor(cairo_t* cairo, const CGColor& color) {
  const auto& c = color.components;
  if (c.size() >= 4) {
    cairo_set_source_rgba(cairo, c[0], c[1], c[2], c[3]);
  } else if (c.size() == 2) {
    cairo_set_source_rgba(cairo, c[0], c[0], c[0], c[1]);
  } else {
    cairo_set_source_rgba(cairo, 0, 0, 0, 1);
  }
}

// cairo's ARGB32 is a native-endian word of premultiplied A, R, G, B.
void unpremultiplyRow(const std::uint32_t* source, std::uint8_t* destination, std::size_t width) {
  for (std::size_t x = 0; x < width; ++x) {
    const std::uint32_t pixel = source[x];
    const std::uint32_t alpha = pixel >> 24;
    const std::uint32_t red = (pixel >> 16) & 0xFF;
    const std::uint32_t green = (pixel >> 8) & 0xFF;
    const std::uint32_t blue = pixel & 0xFF;
    std::uint8_t* out = destination + x * 4;
    out[0] = static_cast<std::uint8_t>(alpha);
    if (alpha == 0) {
      out[1] = out[2] = out[3] = 0;
    } else {
      out[1] = static_cast<std::uint8_t>(std::min<std::uint32_t>(255, (red * 255 + alpha / 2) / alpha));
      out[2] = static_cast<std::uint8_t>(std::min<std::uint32_t>(255, (green * 255 + alpha / 2) / alpha));
      out[3] = static_cast<std::uint8_t>(std::min<std::uint32_t>(255, (blue * 255 + alpha / 2) / alpha));
    }
  }
}

}  // namespace

std::shared_ptr<CGContext> CGContext::makeBitmap(std::int64_t width, std::int64_t height, Kind kind) {
  if (width <= 0 || height <= 0 || width > maximumSide || height > maximumSide) return nullptr;
  cairo_surface_t* surface = cairo_image_surface_create(kind == Kind::gray8 ? CAIRO_FORMAT_A8 : CAIRO_FORMAT_ARGB32,
                                                        static_cast<int>(width), static_cast<int>(height));
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_t* cairo = cairo_create(surface);
  if (cairo_status(cairo) != CAIRO_STATUS_SUCCESS) {
    cairo_destroy(cairo);
    cairo_surface_destroy(surface);
    return nullptr;
  }
  return std::shared_ptr<CGContext>(new CGContext(width, height, kind, surface, cairo));
}

CGContext::CGContext(std::size_t width, std::size_t height, Kind kind, cairo_surface_t* surface, cairo_t* cairo)
    : width_(width), height_(height), kind_(kind), surface_(surface), cairo_(cairo) {}

CGContext::~CGContext() {
  cairo_destroy(cairo_);
  cairo_surface_destroy(surface_);
}

void CGContext::clear() {
  cairo_save(cairo_);
  cairo_set_operator(cairo_, CAIRO_OPERATOR_CLEAR);
  cairo_paint(cairo_);
  cairo_restore(cairo_);
}

void CGContext::fillRoundedRect(const CGRect& rect, CGFloat radius, const CGColor& color) {
  const double width = rect.size.width;
  const double height = rect.size.height;
  if (!(width > 0) || !(height > 0) || !std::isfinite(width) || !std::isfinite(height)) return;
  const double r = std::isfinite(radius) ? std::clamp(radius, 0.0, std::min(width, height) / 2) : 0.0;
  const double x = rect.origin.x;
  const double y = rect.origin.y;
  constexpr double quarter = std::numbers::pi / 2;
  cairo_new_path(cairo_);
  cairo_arc(cairo_, x + width - r, y + r, r, -quarter, 0);
  cairo_arc(cairo_, x + width - r, y + height - r, r, 0, quarter);
  cairo_arc(cairo_, x + r, y + height - r, r, quarter, 2 * quarter);
  cairo_arc(cairo_, x + r, y + r, r, 2 * quarter, 3 * quarter);
  cairo_close_path(cairo_);
  setSourceColor(cairo_, color);
  cairo_set_fill_rule(cairo_, CAIRO_FILL_RULE_WINDING);
  cairo_fill(cairo_);
}

std::shared_ptr<CGImage> CGContext::makeImage() {
  cairo_surface_flush(surface_);
  const auto format = kind_ == Kind::gray8 ? CGImagePixelFormat::gray8 : CGImagePixelFormat::argb8888;
  auto image = CGImage::make(static_cast<std::int64_t>(width_), static_cast<std::int64_t>(height_), format);
  if (!image) return nullptr;
  const unsigned char* source = cairo_image_surface_get_data(surface_);
  const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface_));
  for (std::size_t row = 0; row < height_; ++row) {
    std::uint8_t* destination = image->mutableData() + row * image->bytesPerRow();
    if (kind_ == Kind::gray8) {
      std::memcpy(destination, source + row * stride, width_);
    } else {
      unpremultiplyRow(reinterpret_cast<const std::uint32_t*>(source + row * stride), destination, width_);
    }
  }
  return image;
}

}  // namespace platform
