#include "Platform/CoreMedia/CVPixelFormatType.hpp"

namespace platform {
namespace {

struct PlaneFormat {
  std::size_t bytesPerSampleGroup;  // along a row, at the plane's own resolution
  std::size_t horizontalSubsampling;
  std::size_t verticalSubsampling;
};

struct PixelFormat {
  OSType code;
  bool planar;
  std::size_t planeCount;
  PlaneFormat planes[3];
};

constexpr PixelFormat pixelFormats[] = {
    {kCVPixelFormatType_32ARGB, false, 1, {{4, 1, 1}}},
    {kCVPixelFormatType_32BGRA, false, 1, {{4, 1, 1}}},
    {kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange, true, 2, {{1, 1, 1}, {2, 2, 2}}},
    {kCVPixelFormatType_420YpCbCr8BiPlanarFullRange, true, 2, {{1, 1, 1}, {2, 2, 2}}},
    {kCVPixelFormatType_420YpCbCr8Planar, true, 3, {{1, 1, 1}, {1, 2, 2}, {1, 2, 2}}},
    {kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange, true, 2, {{2, 1, 1}, {4, 2, 2}}},
};

constexpr std::int32_t maximumSide = 16384;

std::size_t alignedRow(std::size_t bytes) {
  const std::size_t alignment = CVPixelBufferGeometry::rowAlignment;
  return (bytes + alignment - 1) / alignment * alignment;
}

const PixelFormat* findPixelFormat(OSType code) {
  for (const PixelFormat& format : pixelFormats) {
    if (format.code == code) return &format;
  }
  return nullptr;
}

}  // namespace

bool CVPixelBufferGeometry::isSupported(OSType pixelFormatType) noexcept {
  return findPixelFormat(pixelFormatType) != nullptr;
}

std::optional<CVPixelBufferGeometry> CVPixelBufferGeometry::make(std::int32_t width, std::int32_t height,
                                                                 OSType pixelFormatType) {
  const PixelFormat* format = findPixelFormat(pixelFormatType);
  if (!format || width <= 0 || height <= 0 || width > maximumSide || height > maximumSide) return std::nullopt;
  CVPixelBufferGeometry geometry;
  geometry.width = static_cast<std::size_t>(width);
  geometry.height = static_cast<std::size_t>(height);
  geometry.pixelFormatType = pixelFormatType;
  geometry.planeCount = format->planar ? format->planeCount : 0;
  for (std::size_t index = 0; index < format->planeCount; ++index) {
    const PlaneFormat& planeFormat = format->planes[index];
    Plane& plane = geometry.planes[index];
    // Subsampled planes cover odd sizes by rounding up.
    plane.width = (geometry.width + planeFormat.horizontalSubsampling - 1) / planeFormat.horizontalSubsampling;
    plane.height = (geometry.height + planeFormat.verticalSubsampling - 1) / planeFormat.verticalSubsampling;
    plane.bytesPerRow = alignedRow(plane.width * planeFormat.bytesPerSampleGroup);
    plane.offset = geometry.dataSize;
    geometry.dataSize += plane.bytesPerRow * plane.height;
  }
  return geometry;
}

}  // namespace platform
