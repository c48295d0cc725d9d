#include "Fluvio/Sources/Extension/AVLayerVideoGravityExtension.hpp"

#include <algorithm>
#include <cmath>

namespace fluvio {

using platform::AVLayerVideoGravity;
using platform::CGAffineTransform;
using platform::CGRect;
using platform::CGSize;

CGAffineTransform scale(AVLayerVideoGravity gravity, const CGSize& destination, const CGSize& source) noexcept {
  const double xScale = destination.width / source.width;
  const double yScale = destination.height / source.height;
  switch (gravity) {
    case AVLayerVideoGravity::resize:
      return CGAffineTransform::makeScale(xScale, yScale);
    case AVLayerVideoGravity::resizeAspect:
      return CGAffineTransform::makeScale(std::min(xScale, yScale), std::min(xScale, yScale));
    case AVLayerVideoGravity::resizeAspectFill:
      return CGAffineTransform::makeScale(std::max(xScale, yScale), std::max(xScale, yScale));
  }
  return {};
}

CGRect region(AVLayerVideoGravity gravity, const CGRect& destination, const CGRect& source) noexcept {
  if (gravity != AVLayerVideoGravity::resizeAspectFill) {
    return source;
  }
  return {{std::fabs(destination.size.width - source.size.width) * 0.5,
           std::fabs(destination.size.height - source.size.height) * 0.5},
          destination.size};
}

}  // namespace fluvio
