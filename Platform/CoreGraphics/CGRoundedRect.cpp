#include "Platform/CoreGraphics/CGRoundedRect.hpp"

#include <algorithm>
#include <cmath>

namespace platform {

double roundedRectCoverage(const CGRect& rect, CGFloat radius, double x, double y) noexcept {
  const double halfWidth = rect.size.width / 2, halfHeight = rect.size.height / 2;
  const double qx = std::abs(x - (rect.origin.x + halfWidth)) - (halfWidth - radius);
  const double qy = std::abs(y - (rect.origin.y + halfHeight)) - (halfHeight - radius);
  const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
  const double distance = outside + std::min(std::max(qx, qy), 0.0) - radius;
  return std::clamp(0.5 - distance, 0.0, 1.0);
}

}  // namespace platform
