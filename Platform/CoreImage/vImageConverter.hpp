#pragma once

#include <cstdint>
#include <exception>
#include <memory>

#include "Platform/CoreGraphics/CGColorSpace.hpp"
#include "Platform/CoreGraphics/vImageBuffer.hpp"
#include "Platform/CoreImage/CIPixelBufferConverter.hpp"
#include "Platform/CoreMedia/CVPixelBuffer.hpp"

namespace platform {

// The layout of bitmap pixels: 8 bits a channel, 32 bits a pixel, alpha
// first (A, R, G, B), in a colour space.
struct vImage_CGImageFormat {
  std::uint32_t bitsPerComponent = 8;
  std::uint32_t bitsPerPixel = 32;
  std::shared_ptr<const CGColorSpace> colorSpace;
};

// A pixel buffer's format as a converter sees it.
struct vImageCVImageFormat {
  OSType pixelFormatType = 0;
  std::shared_ptr<const CGColorSpace> colorSpace;

  static vImageCVImageFormat makeWithCVPixelBuffer(const CVPixelBuffer& buffer) { return {buffer.pixelFormatType(), {}}; }
};

// Converts 8-bit ARGB bitmaps into pixel buffers of one format. Made once per
// format and kept, so frame after frame of one size allocates nothing.
class vImageConverter {
 public:
  class Error : public std::exception {
   public:
    const char* what() const noexcept override { return "vImageConverter.Error.unsupportedConversion"; }
  };

  // Throws Error when either side is a format it cannot convert.
  static std::unique_ptr<vImageConverter> make(const vImage_CGImageFormat& sourceFormat,
                                               const vImageCVImageFormat& destinationFormat);

  OSType destinationPixelFormatType() const noexcept { return destination_.pixelFormatType; }
  // The bitmap (of the buffer's size) into the buffer; false for a buffer of
  // another format or size, or when the conversion fails.
  bool convert(const vImage_Buffer& source, CVPixelBuffer& destination);

 private:
  explicit vImageConverter(vImageCVImageFormat destination) : destination_(std::move(destination)) {}

  vImageCVImageFormat destination_;
  CIPixelBufferConverter converter_;
};

}  // namespace platform
