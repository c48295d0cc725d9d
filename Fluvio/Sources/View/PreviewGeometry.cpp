#include "Fluvio/Sources/View/PreviewGeometry.hpp"

#include <algorithm>

namespace fluvio {

using namespace platform;

CGRect PreviewFit::destination(const CGSize& picture) const noexcept {
  return {{offset.x * scaleX, offset.y * scaleY}, {picture.width * scaleX, picture.height * scaleY}};
}

PreviewFit previewFit(AVLayerVideoGravity gravity, const CGSize& drawable, const CGSize& picture) noexcept {
  if (!(picture.width > 0) || !(picture.height > 0)) return {};
  const CGFloat horizontal = drawable.width / picture.width, vertical = drawable.height / picture.height;
  if (gravity == AVLayerVideoGravity::resize) return {horizontal, vertical, {0, 0}};
  const CGFloat scale =
      gravity == AVLayerVideoGravity::resizeAspect ? std::min(horizontal, vertical) : std::max(horizontal, vertical);
  if (!(scale > 0)) return {};
  return {scale, scale,
          {(drawable.width - picture.width * scale) / scale / 2, (drawable.height - picture.height * scale) / scale / 2}};
}

}  // namespace fluvio
