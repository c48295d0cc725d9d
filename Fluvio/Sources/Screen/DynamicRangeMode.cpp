#include "Fluvio/Sources/Screen/DynamicRangeMode.hpp"

#include <cmath>

namespace fluvio {

using namespace platform;

std::shared_ptr<const CGColorSpace> colorSpace(DynamicRangeMode mode) {
  static const auto standard = CGColorSpaceCreateWithName(kCGColorSpaceITUR_709);
  static const auto high = CGColorSpaceCreateWithName(kCGColorSpaceITUR_2100_HLG);
  return mode == DynamicRangeMode::sdr ? standard : high;
}

std::optional<CIContextOptions> contextOptions(DynamicRangeMode mode) {
  auto space = colorSpace(mode);
  if (!space) return std::nullopt;
  return CIContextOptions{CIFormat::RGBAh, space, space};
}

std::shared_ptr<CIContext> makeCIContext(DynamicRangeMode mode) {
  const CIContextOptions options = contextOptions(mode).value_or(CIContextOptions{});
  if (auto gpu = CIContext::makeGPU(options)) return gpu;
  return CIContext::make(options);
}

std::optional<CVPixelBufferAttributes> makePixelBufferAttributes(DynamicRangeMode mode, const CGSize& size) {
  const auto side = [](CGFloat value) -> std::optional<std::int32_t> {
    if (!std::isfinite(value) || value < 1 || value >= 16385) return std::nullopt;
    return static_cast<std::int32_t>(value);
  };
  const auto width = side(size.width);
  const auto height = side(size.height);
  if (!width || !height) return std::nullopt;
  CVPixelBufferAttributes attributes;
  attributes.pixelFormatType =
      mode == DynamicRangeMode::sdr ? kCVPixelFormatType_32ARGB : kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange;
  attributes.metalCompatibility = true;
  attributes.width = width;
  attributes.height = height;
  return attributes;
}

}  // namespace fluvio
