#include "Platform/AVFoundation/PixelRotation.hpp"

#include <cstring>

namespace platform {

namespace {

std::size_t bytesPerElement(OSType format, std::size_t plane) {
  switch (format) {
    case kCVPixelFormatType_32BGRA:
    case kCVPixelFormatType_32ARGB:
      return 4;
    case kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange:
    case kCVPixelFormatType_420YpCbCr8BiPlanarFullRange:
      return plane == 0 ? 1 : 2;
    case kCVPixelFormatType_420YpCbCr8Planar:
      return 1;
    default:
      return 0;
  }
}

// Destination (x, y) takes source element at the inverse of the turn and mirror.
void rotatePlane(const std::uint8_t* source, std::size_t sourceStride, std::size_t width, std::size_t height,
                 std::uint8_t* destination, std::size_t destinationStride, std::size_t element, int turns,
                 bool mirrored) {
  const bool swapped = turns % 2 == 1;
  const std::size_t outWidth = swapped ? height : width;
  const std::size_t outHeight = swapped ? width : height;
  for (std::size_t y = 0; y < outHeight; ++y) {
    auto* row = destination + y * destinationStride;
    for (std::size_t x = 0; x < outWidth; ++x) {
      const std::size_t ux = mirrored ? outWidth - 1 - x : x;
      std::size_t sx = ux, sy = y;
      switch (turns) {
        case 1: sx = y; sy = height - 1 - ux; break;
        case 2: sx = width - 1 - ux; sy = height - 1 - y; break;
        case 3: sx = width - 1 - y; sy = ux; break;
        default: break;
      }
      std::memcpy(row + x * element, source + sy * sourceStride + sx * element, element);
    }
  }
}

}  // namespace

std::shared_ptr<CVPixelBuffer> rotatedPixelBuffer(CVPixelBuffer& source, int quarterTurns, bool mirrored) {
  const int turns = ((quarterTurns % 4) + 4) % 4;
  const auto format = source.pixelFormatType();
  if (bytesPerElement(format, 0) == 0) return nullptr;
  const bool swapped = turns % 2 == 1;
  const auto width = static_cast<std::int32_t>(swapped ? source.height() : source.width());
  const auto height = static_cast<std::int32_t>(swapped ? source.width() : source.height());
  auto made = CVPixelBuffer::make(width, height, format);
  if (!made) return nullptr;
  auto& target = *made.value;
  if (source.lockBaseAddress(kCVPixelBufferLock_ReadOnly) != kCVReturnSuccess) return nullptr;
  target.lockBaseAddress(0);
  const std::size_t planes = source.isPlanar() ? source.planeCount() : 1;
  bool fits = true;
  for (std::size_t plane = 0; plane < planes; ++plane) {
    const bool planar = source.isPlanar();
    const auto sourceWidth = planar ? source.widthOfPlane(plane) : source.width();
    const auto sourceHeight = planar ? source.heightOfPlane(plane) : source.height();
    const auto targetWidth = planar ? target.widthOfPlane(plane) : target.width();
    const auto targetHeight = planar ? target.heightOfPlane(plane) : target.height();
    // Chroma planes of odd pictures round up: only exact turns are copied.
    if ((swapped ? sourceHeight : sourceWidth) != targetWidth || (swapped ? sourceWidth : sourceHeight) != targetHeight) {
      fits = false;
      break;
    }
    rotatePlane(planar ? source.baseAddressOfPlane(plane) : source.baseAddress(),
                planar ? source.bytesPerRowOfPlane(plane) : source.bytesPerRow(), sourceWidth, sourceHeight,
                planar ? target.baseAddressOfPlane(plane) : target.baseAddress(),
                planar ? target.bytesPerRowOfPlane(plane) : target.bytesPerRow(), bytesPerElement(format, plane), turns,
                mirrored);
  }
  target.unlockBaseAddress(0);
  source.unlockBaseAddress(kCVPixelBufferLock_ReadOnly);
  return fits ? made.value : nullptr;
}

}  // namespace platform
