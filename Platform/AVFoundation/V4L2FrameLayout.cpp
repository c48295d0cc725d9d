#include "Platform/AVFoundation/V4L2FrameLayout.hpp"

#include <linux/videodev2.h>

#include <algorithm>
#include <cstring>

namespace platform {

namespace {

// Rows of `rowBytes` from a plane of `stride` into one of `targetStride`.
void copyRows(const std::uint8_t* from, std::size_t stride, std::uint8_t* to, std::size_t targetStride,
              std::size_t rowBytes, std::size_t rows) {
  for (std::size_t row = 0; row < rows; ++row) std::memcpy(to + row * targetStride, from + row * stride, rowBytes);
}

}  // namespace

V4L2FrameLayout V4L2FrameLayout::forCamera(std::uint32_t cameraFourcc) noexcept {
  switch (cameraFourcc) {
    case V4L2_PIX_FMT_NV12: return {V4L2_PIX_FMT_NV12, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange};
    // Blue, green, red, alpha in memory.
    case V4L2_PIX_FMT_ABGR32:
    case V4L2_PIX_FMT_XBGR32: return {cameraFourcc, kCVPixelFormatType_32BGRA};
    default: return {V4L2_PIX_FMT_YUV420, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange};
  }
}

bool V4L2FrameLayout::copy(std::span<const std::uint8_t> frame, std::uint32_t width, std::uint32_t height,
                           std::uint32_t bytesPerLine, CVPixelBuffer& into) const {
  if (into.width() != width || into.height() != height || into.pixelFormatType() != pixelFormat) return false;
  const std::size_t pixelBytes = pixelFormat == kCVPixelFormatType_32BGRA ? 4 : 1;
  const std::size_t lumaStride = std::max<std::size_t>(bytesPerLine, width * pixelBytes);
  if (pixelFormat == kCVPixelFormatType_32BGRA) {
    if (frame.size() < lumaStride * height) return false;
    copyRows(frame.data(), lumaStride, into.baseAddress(), into.bytesPerRow(), std::size_t(width) * 4, height);
    if (readFourcc == V4L2_PIX_FMT_XBGR32) {
      // The padding byte is undefined: make the picture opaque.
      for (std::size_t y = 0; y < height; ++y) {
        auto* row = into.baseAddress() + y * into.bytesPerRow();
        for (std::size_t x = 0; x < width; ++x) row[4 * x + 3] = 255;
      }
    }
    return true;
  }
  const std::size_t chromaWidth = (width + 1) / 2;
  const std::size_t chromaHeight = (height + 1) / 2;
  const std::size_t lumaSize = lumaStride * height;
  if (readFourcc == V4L2_PIX_FMT_NV12) {
    if (frame.size() < lumaSize + lumaStride * chromaHeight) return false;
    copyRows(frame.data(), lumaStride, into.baseAddressOfPlane(0), into.bytesPerRowOfPlane(0), width, height);
    copyRows(frame.data() + lumaSize, lumaStride, into.baseAddressOfPlane(1), into.bytesPerRowOfPlane(1),
             chromaWidth * 2, chromaHeight);
    return true;
  }
  // Planar: Y, then U and V at half the stride; interleaved into one plane.
  const std::size_t chromaStride = lumaStride / 2;
  const std::size_t chromaSize = chromaStride * chromaHeight;
  if (chromaStride < chromaWidth || frame.size() < lumaSize + 2 * chromaSize) return false;
  copyRows(frame.data(), lumaStride, into.baseAddressOfPlane(0), into.bytesPerRowOfPlane(0), width, height);
  const auto* u = frame.data() + lumaSize;
  const auto* v = u + chromaSize;
  for (std::size_t y = 0; y < chromaHeight; ++y) {
    auto* row = into.baseAddressOfPlane(1) + y * into.bytesPerRowOfPlane(1);
    for (std::size_t x = 0; x < chromaWidth; ++x) {
      row[2 * x] = u[y * chromaStride + x];
      row[2 * x + 1] = v[y * chromaStride + x];
    }
  }
  return true;
}

std::shared_ptr<AVFrameRateRange> makeFrameRateRange(std::uint32_t shortestNumerator, std::uint32_t shortestDenominator,
                                                     std::uint32_t longestNumerator, std::uint32_t longestDenominator) {
  if (shortestNumerator == 0 || shortestDenominator == 0 || longestNumerator == 0 || longestDenominator == 0) {
    return nullptr;
  }
  return AVFrameRateRange::make(double(longestDenominator) / longestNumerator,
                                double(shortestDenominator) / shortestNumerator);
}

}  // namespace platform
