#pragma once

#include <array>
#include <memory>
#include <variant>

#include "Platform/AVFoundation/CGGeometry.hpp"
#include "Platform/CoreGraphics/CGColor.hpp"
#include "Platform/CoreGraphics/CGImage.hpp"
#include "Platform/CoreGraphics/vImageMultidimensionalTable.hpp"
#include "Platform/CoreMedia/CVPixelBuffer.hpp"

namespace platform {

// A colour with components 0...1 (straight alpha).
struct CIColor {
  float red = 0, green = 0, blue = 0, alpha = 1;

  // Gray + alpha or RGB + alpha; anything else is opaque black.
  static CIColor fromCGColor(const CGColor& color) noexcept;
  friend bool operator==(const CIColor&, const CIColor&) = default;
};

// A lazy image: a recipe of sources and operations, evaluated only when a
// context renders it. Coordinates have their origin at the bottom-left; a
// source's pixel (0, 0) is its top-left pixel, so its top row lies at
// y = height - 1 ... height. Recipes are immutable and shared.
class CIImage : public std::enable_shared_from_this<CIImage> {
 public:
  struct Color { CIColor color; };
  struct PixelBuffer { std::shared_ptr<CVPixelBuffer> buffer; };
  struct Bitmap { std::shared_ptr<const CGImage> image; };
  // White inside a rectangle with rounded corners, antialiased, transparent outside.
  struct RoundedRectangle { CGRect extent; CGFloat radius; };
  struct Transform { std::shared_ptr<const CIImage> input; CGAffineTransform transform; };
  struct Crop { std::shared_ptr<const CIImage> input; CGRect rect; };
  struct Over { std::shared_ptr<const CIImage> top; std::shared_ptr<const CIImage> bottom; };
  // The input where the mask is opaque, transparent where it is not.
  struct AlphaMask { std::shared_ptr<const CIImage> input; std::shared_ptr<const CIImage> mask; };
  // The input's alpha multiplied by a table lookup of its colour.
  struct ColorKey { std::shared_ptr<const CIImage> input; std::shared_ptr<const vImageMultidimensionalTable> table; };
  using Node = std::variant<Color, PixelBuffer, Bitmap, RoundedRectangle, Transform, Crop, Over, AlphaMask, ColorKey>;

  using Pointer = std::shared_ptr<const CIImage>;

  static Pointer empty();
  static Pointer color(const CIColor& color);
  // None without a buffer.
  static Pointer pixelBuffer(std::shared_ptr<CVPixelBuffer> buffer);
  static Pointer cgImage(std::shared_ptr<const CGImage> image);
  static Pointer roundedRectangle(const CGRect& extent, CGFloat radius);

  Pointer transformed(const CGAffineTransform& transform) const;
  Pointer cropped(const CGRect& rect) const;
  Pointer compositedOver(const Pointer& bottom) const;
  Pointer blendedWithAlphaMask(const Pointer& mask) const;
  Pointer keyedByColorTable(std::shared_ptr<const vImageMultidimensionalTable> table) const;

  const Node& node() const noexcept { return node_; }
  // Where the image is not transparent; infinite for a colour, zero when empty.
  const CGRect& extent() const noexcept { return extent_; }
  bool isInfinite() const noexcept;

  CIImage(Node node, const CGRect& extent) : node_(std::move(node)), extent_(extent) {}

 private:
  Pointer self() const { return shared_from_this(); }

  Node node_;
  CGRect extent_;
};

// Rectangle helpers of the recipe's geometry.
CGRect intersection(const CGRect& a, const CGRect& b) noexcept;
CGRect unionRect(const CGRect& a, const CGRect& b) noexcept;
CGRect applying(const CGRect& rect, const CGAffineTransform& transform) noexcept;
CGAffineTransform inverted(const CGAffineTransform& transform) noexcept;
CGAffineTransform concatenating(const CGAffineTransform& first, const CGAffineTransform& then) noexcept;
inline bool isEmpty(const CGRect& rect) noexcept { return !(rect.size.width > 0) || !(rect.size.height > 0); }

}  // namespace platform
