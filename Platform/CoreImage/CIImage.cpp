#include "Platform/CoreImage/CIImage.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory_resource>

namespace platform {

namespace {

constexpr CGFloat infinite = 1e15;
const CGRect infiniteRect{{-infinite / 2, -infinite / 2}, {infinite, infinite}};

// Recipes are made anew for every frame: their nodes come from a pool that
// keeps freed blocks, so a steady stream of recipes allocates nothing. Kept
// for the process's life, as nodes may still be released while statics go.
std::pmr::memory_resource* nodePool() {
  static auto* pool = new std::pmr::synchronized_pool_resource;
  return pool;
}

template <class... Arguments>
CIImage::Pointer makeNode(Arguments&&... arguments) {
  return std::allocate_shared<CIImage>(std::pmr::polymorphic_allocator<CIImage>(nodePool()),
                                       std::forward<Arguments>(arguments)...);
}

float component(CGFloat value) { return static_cast<float>(std::clamp(std::isfinite(value) ? value : 0.0, 0.0, 1.0)); }

}  // namespace

CIColor CIColor::fromCGColor(const CGColor& color) noexcept {
  const auto& c = color.components;
  if (c.size() == 2) return {component(c[0]), component(c[0]), component(c[0]), component(c[1])};
  if (c.size() >= 4) return {component(c[0]), component(c[1]), component(c[2]), component(c[3])};
  return {};
}

CIImage::Pointer CIImage::empty() {
  static const Pointer image = makeNode(Color{{0, 0, 0, 0}}, CGRect{});
  return image;
}

CIImage::Pointer CIImage::color(const CIColor& color) { return makeNode(Color{color}, infiniteRect); }

CIImage::Pointer CIImage::pixelBuffer(std::shared_ptr<CVPixelBuffer> buffer) {
  if (!buffer) return nullptr;
  const CGRect extent{{0, 0}, {static_cast<CGFloat>(buffer->width()), static_cast<CGFloat>(buffer->height())}};
  return makeNode(PixelBuffer{std::move(buffer)}, extent);
}

CIImage::Pointer CIImage::cgImage(std::shared_ptr<const CGImage> image) {
  if (!image) return nullptr;
  const CGRect extent{{0, 0}, {static_cast<CGFloat>(image->width()), static_cast<CGFloat>(image->height())}};
  return makeNode(Bitmap{std::move(image)}, extent);
}

CIImage::Pointer CIImage::roundedRectangle(const CGRect& extent, CGFloat radius) {
  const CGFloat shorter = std::min(extent.size.width, extent.size.height);
  const CGFloat clamped = std::isfinite(radius) ? std::clamp(radius, 0.0, std::max(0.0, shorter / 2)) : 0.0;
  return makeNode(RoundedRectangle{extent, clamped}, extent);
}

bool CIImage::isInfinite() const noexcept { return extent_.size.width >= infinite; }

CIImage::Pointer CIImage::transformed(const CGAffineTransform& transform) const {
  const CGRect extent = isInfinite() ? extent_ : applying(extent_, transform);
  return makeNode(Transform{self(), transform}, extent);
}

CIImage::Pointer CIImage::cropped(const CGRect& rect) const {
  return makeNode(Crop{self(), rect}, intersection(extent_, rect));
}

CIImage::Pointer CIImage::compositedOver(const Pointer& bottom) const {
  if (!bottom) return self();
  return makeNode(Over{self(), bottom}, unionRect(extent_, bottom->extent()));
}

CIImage::Pointer CIImage::blendedWithAlphaMask(const Pointer& mask) const {
  if (!mask) return empty();
  return makeNode(AlphaMask{self(), mask}, intersection(extent_, mask->extent()));
}

CIImage::Pointer CIImage::keyedByColorTable(std::shared_ptr<const vImageMultidimensionalTable> table) const {
  if (!table) return self();
  return makeNode(ColorKey{self(), std::move(table)}, extent_);
}

CGRect intersection(const CGRect& a, const CGRect& b) noexcept {
  const CGFloat left = std::max(a.origin.x, b.origin.x);
  const CGFloat bottom = std::max(a.origin.y, b.origin.y);
  const CGFloat right = std::min(a.origin.x + a.size.width, b.origin.x + b.size.width);
  const CGFloat top = std::min(a.origin.y + a.size.height, b.origin.y + b.size.height);
  if (!(right > left) || !(top > bottom)) return {};
  return {{left, bottom}, {right - left, top - bottom}};
}

CGRect unionRect(const CGRect& a, const CGRect& b) noexcept {
  if (isEmpty(a)) return b;
  if (isEmpty(b)) return a;
  const CGFloat left = std::min(a.origin.x, b.origin.x);
  const CGFloat bottom = std::min(a.origin.y, b.origin.y);
  const CGFloat right = std::max(a.origin.x + a.size.width, b.origin.x + b.size.width);
  const CGFloat top = std::max(a.origin.y + a.size.height, b.origin.y + b.size.height);
  return {{left, bottom}, {right - left, top - bottom}};
}

CGRect applying(const CGRect& rect, const CGAffineTransform& t) noexcept {
  if (isEmpty(rect)) return {};
  const CGFloat xs[2] = {rect.origin.x, rect.origin.x + rect.size.width};
  const CGFloat ys[2] = {rect.origin.y, rect.origin.y + rect.size.height};
  CGFloat left = std::numeric_limits<CGFloat>::max(), bottom = left;
  CGFloat right = -left, top = -left;
  for (CGFloat x : xs) {
    for (CGFloat y : ys) {
      const CGFloat px = t.a * x + t.c * y + t.tx;
      const CGFloat py = t.b * x + t.d * y + t.ty;
      left = std::min(left, px), right = std::max(right, px);
      bottom = std::min(bottom, py), top = std::max(top, py);
    }
  }
  return {{left, bottom}, {right - left, top - bottom}};
}

CGAffineTransform inverted(const CGAffineTransform& t) noexcept {
  const CGFloat determinant = t.a * t.d - t.b * t.c;
  if (determinant == 0 || !std::isfinite(determinant)) return t;
  const CGFloat a = t.d / determinant, b = -t.b / determinant, c = -t.c / determinant, d = t.a / determinant;
  return {a, b, c, d, -(a * t.tx + c * t.ty), -(b * t.tx + d * t.ty)};
}

CGAffineTransform concatenating(const CGAffineTransform& first, const CGAffineTransform& then) noexcept {
  return {first.a * then.a + first.b * then.c,
          first.a * then.b + first.b * then.d,
          first.c * then.a + first.d * then.c,
          first.c * then.b + first.d * then.d,
          first.tx * then.a + first.ty * then.c + then.tx,
          first.tx * then.b + first.ty * then.d + then.ty};
}

}  // namespace platform
