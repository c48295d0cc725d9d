#pragma once

#include <cstdint>
#include <memory>

#include "Platform/CoreGraphics/CGColor.hpp"
#include "Platform/CoreGraphics/CGImage.hpp"

using cairo_t = struct _cairo;
using cairo_surface_t = struct _cairo_surface;

namespace platform {

// A bitmap to draw into, initially zero: 8-bit gray (coverage), or RGB with
// alpha. Coordinates have their origin at the top-left, in pixels.
class CGContext {
 public:
  enum class Kind { gray8, rgba };

  // None for a side of 0 or below or beyond 16384, or when cairo cannot make it.
  static std::shared_ptr<CGContext> makeBitmap(std::int64_t width, std::int64_t height, Kind kind);
  ~CGContext();
  CGContext(const CGContext&) = delete;
  CGContext& operator=(const CGContext&) = delete;

  std::size_t width() const noexcept { return width_; }
  std::size_t height() const noexcept { return height_; }

  // Sets every pixel back to zero.
  void clear();
  // Fills a rectangle with rounded corners (radius clamped to half the shorter side).
  void fillRoundedRect(const CGRect& rect, CGFloat radius, const CGColor& color);
  // Copies the pixels out as an image (gray8 or straight-alpha argb8888).
  std::shared_ptr<CGImage> makeImage();

  // For text layout, which draws through the same surface.
  cairo_t* cairoContext() const noexcept { return cairo_; }

 private:
  CGContext(std::size_t width, std::size_t height, Kind kind, cairo_surface_t* surface, cairo_t* cairo);

  std::size_t width_;
  std::size_t height_;
  Kind kind_;
  cairo_surface_t* surface_;
  cairo_t* cairo_;
};

}  // namespace platform
