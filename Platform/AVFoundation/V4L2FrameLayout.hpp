#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "Platform/AVFoundation/AVFrameRateRange.hpp"
#include "Platform/CoreMedia/CVPixelBuffer.hpp"

namespace platform {

// How a V4L2 camera's frames are read and what they become: 4:2:0
// bi-planar and 32-bit BGRA pass through; anything else is read as planar
// 4:2:0, which the conversion library makes of every format it knows, and
// delivered bi-planar.
struct V4L2FrameLayout {
  std::uint32_t readFourcc;  // asked of the driver (through the conversion library)
  OSType pixelFormat;        // of the delivered pixel buffers

  static V4L2FrameLayout forCamera(std::uint32_t cameraFourcc) noexcept;

  // Copies one read frame of `width` x `height` with `bytesPerLine` for its
  // first plane into a locked buffer of the same size and `pixelFormat`.
  // False when the frame is shorter than its layout needs or the sizes differ.
  bool copy(std::span<const std::uint8_t> frame, std::uint32_t width, std::uint32_t height,
            std::uint32_t bytesPerLine, CVPixelBuffer& into) const;
};

// The rates of a frame-interval range (seconds per frame as numerator and
// denominator): the shortest interval gives the highest rate. Nothing for a
// zero part.
std::shared_ptr<AVFrameRateRange> makeFrameRateRange(std::uint32_t shortestNumerator, std::uint32_t shortestDenominator,
                                                     std::uint32_t longestNumerator, std::uint32_t longestDenominator);

}  // namespace platform
