#pragma once

#include <cstdint>

#include "Platform/CoreMedia/CVPixelBuffer.hpp"

struct SwsContext;

namespace platform {

// Converts and scales pixel buffers with libswscale into 8-bit ARGB or RGBA
// (straight alpha), or from ARGB into a pixel buffer. Keeps its scaler
// between calls of the same shape, so a steady stream of frames allocates
// nothing.
class CIPixelBufferConverter {
 public:
  enum class Layout { argb, rgba };

  CIPixelBufferConverter() = default;
  ~CIPixelBufferConverter();
  CIPixelBufferConverter(const CIPixelBufferConverter&) = delete;
  CIPixelBufferConverter& operator=(const CIPixelBufferConverter&) = delete;

  // False for a format swscale does not take or a size it refuses.
  bool convert(const CVPixelBuffer& source, std::uint8_t* destination, std::size_t destinationRowBytes,
               std::size_t width, std::size_t height, Layout layout);
  // ARGB rows of the buffer's size into the buffer, in its own format.
  bool convert(const std::uint8_t* argb, std::size_t rowBytes, CVPixelBuffer& destination);

  static bool isSupported(OSType pixelFormatType) noexcept;

 private:
  SwsContext* scaler_ = nullptr;
};

}  // namespace platform
