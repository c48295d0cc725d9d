#include "Fluvio/Sources/Screen/ScreenObject.hpp"

#include <algorithm>
#include <atomic>

#include "Fluvio/Sources/Screen/ScreenObjectContainer.hpp"
#include "Fluvio/Sources/Screen/ScreenRenderer.hpp"

namespace fluvio {

using namespace platform;

namespace {
std::uint64_t nextIdentifier() {
  static std::atomic<std::uint64_t> counter{0};
  return ++counter;
}
}  // namespace

ScreenObject::ScreenObject() : identifier_(nextIdentifier()) {}

void ScreenObject::setSize(const CGSize& size) {
  if (size_.width != size.width || size_.height != size.height) shouldInvalidateLayout_ = true;
  size_ = size;
}

ScreenObjectImage<CGImage> ScreenObject::makeCGImage(ScreenRenderer&) { return ScreenObjectImage<CGImage>::empty(); }

ScreenObjectImage<CIImage> ScreenObject::makeCIImage(ScreenRenderer&) { return ScreenObjectImage<CIImage>::empty(); }

CGRect ScreenObject::makeBounds(const CGSize& size) {
  const auto container = parent();
  if (!container) return {{0, 0}, size_};
  const CGRect& p = container->bounds();
  const UIEdgeInsets& m = layoutMargin_;
  const CGFloat width = size.width == 0 ? std::max(0.0, p.size.width - m.left - m.right) : size.width;
  const CGFloat height = size.height == 0 ? std::max(0.0, p.size.height - m.top - m.bottom) : size.height;
  CGFloat x = p.origin.x;
  switch (horizontalAlignment_) {
    case HorizontalAlignment::left: x += m.left; break;
    case HorizontalAlignment::center: x += (p.size.width - width) / 2; break;
    case HorizontalAlignment::right: x += p.size.width - width - m.right; break;
  }
  CGFloat y = p.origin.y;
  switch (verticalAlignment_) {
    case VerticalAlignment::top: y += m.top; break;
    case VerticalAlignment::middle: y += (p.size.height - height) / 2; break;
    case VerticalAlignment::bottom: y += p.size.height - height - m.bottom; break;
  }
  return {{x, y}, {width, height}};
}

void ScreenObject::layout(ScreenRenderer& renderer) {
  setBounds(makeBounds(size_));
  renderer.layout(*this);
  shouldInvalidateLayout_ = false;
}

void ScreenObject::draw(ScreenRenderer& renderer) { renderer.draw(*this); }

}  // namespace fluvio
