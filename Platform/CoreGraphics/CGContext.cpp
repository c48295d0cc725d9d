#include "Platform/CoreGraphics/CGContext.hpp"

#include "Platform/CoreGraphics/CGRoundedRect.hpp"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform {

namespace {

constexpr std::int64_t maximumSide = 16384;

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
  // Coverage by the shared rule (not cairo's path rasteriser), so that masks
  // made here match the GPU path's edges.
  cairo_surface_flush(surface_);
  unsigned char* data = cairo_image_surface_get_data(surface_);
  const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface_));
  const auto& c = color.components;
  const double alpha = c.size() >= 4 ? c[3] : c.size() == 2 ? c[1] : 1.0;
  const double red = c.size() >= 4 ? c[0] : c.size() == 2 ? c[0] : 0.0;
  const double green = c.size() >= 4 ? c[1] : red;
  const double blue = c.size() >= 4 ? c[2] : red;
  for (std::size_t y = 0; y < height_; ++y) {
    for (std::size_t x = 0; x < width_; ++x) {
      const double coverage = roundedRectCoverage({rect.origin, {width, height}}, r, x + 0.5, y + 0.5) * alpha;
      if (coverage <= 0) continue;
      if (kind_ == Kind::gray8) {
        std::uint8_t& out = data[y * stride + x];
        out = static_cast<std::uint8_t>(std::lround(coverage * 255 + out * (1 - coverage)));
      } else {
        auto& out = reinterpret_cast<std::uint32_t*>(data + y * stride)[x];
        const auto blend = [&](double value, int shift) {
          const double below = (out >> shift) & 0xFF;
          return static_cast<std::uint32_t>(std::lround(value * coverage * 255 + below * (1 - coverage))) << shift;
        };
        out = blend(1, 24) | blend(red, 16) | blend(green, 8) | blend(blue, 0);
      }
    }
  }
  cairo_surface_mark_dirty(surface_);
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
