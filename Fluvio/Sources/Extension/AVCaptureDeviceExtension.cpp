#include "Fluvio/Sources/Extension/AVCaptureDeviceExtension.hpp"

#include <algorithm>
#include <cmath>
#include <ranges>

namespace fluvio {
namespace {

// Fixed rates are stated rounded (29.97 for 30000/1001), so nearly equal counts.
constexpr double fixedRateTolerance = 0.01;

}  // namespace

std::shared_ptr<platform::AVCaptureDevice::Format> findVideoFormat(const platform::AVCaptureDevice& device,
                                                                   std::int32_t width, std::int32_t height,
                                                                   double frameRate, bool isMultiCamSupported) {
  const auto usable = [&](const auto& format) {
    return (!isMultiCamSupported || format->isMultiCamSupported()) && isFrameRateSupported(*format, frameRate);
  };
  const auto& formats = device.formats();
  const auto large = std::ranges::find_if(formats, [&](const auto& format) {
    const auto dimensions = format->formatDescription()->dimensions();
    return usable(format) && dimensions.width >= width && dimensions.height >= height;
  });
  if (large != formats.end()) {
    return *large;
  }
  const auto small = std::find_if(formats.rbegin(), formats.rend(), [&](const auto& format) {
    const auto dimensions = format->formatDescription()->dimensions();
    return usable(format) && dimensions.width < width && dimensions.height < height;
  });
  return small != formats.rend() ? *small : nullptr;
}

bool isFrameRateSupported(const platform::AVCaptureDevice::Format& format, double frameRate) {
  return std::ranges::any_of(format.videoSupportedFrameRateRanges(), [frameRate](const auto& range) {
    if (range->minFrameRate() == range->maxFrameRate()) {
      return std::fabs(range->maxFrameRate() - frameRate) <= fixedRateTolerance;
    }
    return range->minFrameRate() <= frameRate && frameRate <= range->maxFrameRate();
  });
}

}  // namespace fluvio
