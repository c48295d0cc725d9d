#include "Platform/CoreGraphics/CGImage.hpp"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {
constexpr std::int64_t maximumSide = 16384;
}

std::shared_ptr<CGImage> CGImage::make(std::int64_t width, std::int64_t height, CGImagePixelFormat format) {
  if (width <= 0 || height <= 0 || width > maximumSide || height > maximumSide) return nullptr;
  const std::size_t bytesPerRow = static_cast<std::size_t>(width) * bytesPerPixel(format);
  Storage storage(new (std::nothrow) std::uint8_t[bytesPerRow * static_cast<std::size_t>(height)]());
  if (!storage) return nullptr;
  return std::make_shared<CGImage>(width, height, bytesPerRow, format, std::move(storage));
}

CGImage::CGImage(std::size_t width, std::size_t height, std::size_t bytesPerRow, CGImagePixelFormat format,
                 Storage storage, std::size_t offset)
    : width_(width), height_(height), bytesPerRow_(bytesPerRow), format_(format), storage_(std::move(storage)),
      offset_(offset) {}

std::shared_ptr<CGImage> CGImage::cropping(const CGRect& rect) const {
  if (!std::isfinite(rect.origin.x) || !std::isfinite(rect.origin.y) || !std::isfinite(rect.size.width) ||
      !std::isfinite(rect.size.height)) {
    return nullptr;
  }
  const double left = std::max(0.0, std::floor(rect.origin.x));
  const double top = std::max(0.0, std::floor(rect.origin.y));
  const double right = std::min(static_cast<double>(width_), std::ceil(rect.origin.x + rect.size.width));
  const double bottom = std::min(static_cast<double>(height_), std::ceil(rect.origin.y + rect.size.height));
  if (right <= left || bottom <= top) return nullptr;
  const auto x = static_cast<std::size_t>(left);
  const auto y = static_cast<std::size_t>(top);
  return std::make_shared<CGImage>(static_cast<std::size_t>(right) - x, static_cast<std::size_t>(bottom) - y,
                                   bytesPerRow_, format_, storage_,
                                   offset_ + y * bytesPerRow_ + x * bytesPerPixel(format_));
}

}  // namespace platform
