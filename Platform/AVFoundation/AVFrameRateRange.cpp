#include "Platform/AVFoundation/AVFrameRateRange.hpp"

#include <cmath>

namespace platform {

std::shared_ptr<AVFrameRateRange> AVFrameRateRange::make(double minFrameRate, double maxFrameRate) {
  if (!std::isfinite(minFrameRate) || !std::isfinite(maxFrameRate) || minFrameRate < 0 ||
      minFrameRate > maxFrameRate) {
    return nullptr;
  }
  return std::shared_ptr<AVFrameRateRange>(new AVFrameRateRange(minFrameRate, maxFrameRate));
}

}  // namespace platform
