#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "Platform/CoreMedia/FourCharCode.hpp"

namespace platform {

inline constexpr OSType kCVPixelFormatType_32ARGB = 32;
inline constexpr OSType kCVPixelFormatType_32BGRA = fourCC("BGRA");
// 8-bit 4:2:0, a luma plane and an interleaved CbCr plane (video and full range).
inline constexpr OSType kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange = fourCC("420v");
inline constexpr OSType kCVPixelFormatType_420YpCbCr8BiPlanarFullRange = fourCC("420f");
// 8-bit 4:2:0 in three planes: Y, Cb, Cr.
inline constexpr OSType kCVPixelFormatType_420YpCbCr8Planar = fourCC("y420");
// 10-bit 4:2:0 bi-planar, each sample in the high bits of 16.
inline constexpr OSType kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange = fourCC("x420");

// Where the planes of an image of one pixel format and size lie in its block.
// Every row is padded to a stride of `rowAlignment` bytes.
struct CVPixelBufferGeometry {
  static constexpr std::size_t rowAlignment = 64;

  struct Plane {
    std::size_t offset = 0;
    std::size_t width = 0;
    std::size_t height = 0;
    std::size_t bytesPerRow = 0;
  };

  std::size_t width = 0;
  std::size_t height = 0;
  OSType pixelFormatType = 0;
  std::size_t dataSize = 0;
  // 0 for a packed format, whose one plane is planes[0].
  std::size_t planeCount = 0;
  std::array<Plane, 3> planes{};

  // None for an unsupported format, or a side of 0 or below or beyond 16384
  // pixels. The chroma planes of an odd size round up.
  static bool isSupported(OSType pixelFormatType) noexcept;
  static std::optional<CVPixelBufferGeometry> make(std::int32_t width, std::int32_t height, OSType pixelFormatType);
};

}  // namespace platform
