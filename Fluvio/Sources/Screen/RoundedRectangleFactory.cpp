#include "Fluvio/Sources/Screen/RoundedRectangleFactory.hpp"

#include <cmath>

namespace fluvio {

using namespace platform;

CIImage::Pointer RoundedRectangleFactory::cornerRadius(const CGSize& size, CGFloat cornerRadius) {
  const auto key = std::make_tuple(size.width, size.height, cornerRadius);
  if (const auto found = imageBuffers_.find(key); found != imageBuffers_.end()) return found->second;
  const CGRect extent{{0, 0}, size};
  if (isEmpty(extent) || !std::isfinite(size.width) || !std::isfinite(size.height)) return nullptr;
  return imageBuffers_.emplace(key, CIImage::roundedRectangle(extent, cornerRadius)).first->second;
}

}  // namespace fluvio
