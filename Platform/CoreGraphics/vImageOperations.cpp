#include "Platform/CoreGraphics/vImageOperations.hpp"

#include <algorithm>
#include <cstring>

namespace platform {

namespace {

inline std::uint8_t toByte(float value) noexcept {
  return static_cast<std::uint8_t>(std::clamp(value, 0.0f, 255.0f) + 0.5f);
}

// Straight-alpha "over" for one row; written as plain arithmetic on arrays
// so that the compiler vectorises it.
void blendRow(const std::uint8_t* __restrict top, const std::uint8_t* bottom, std::uint8_t* destination,
              std::size_t width) {
  constexpr float inverse = 1.0f / 255.0f;
  for (std::size_t x = 0; x < width; ++x) {
    const std::size_t i = x * 4;
    const float topAlpha = top[i] * inverse;
    const float bottomWeight = bottom[i] * inverse * (1.0f - topAlpha);
    const float alpha = topAlpha + bottomWeight;
    const float scale = alpha > 0 ? 1.0f / alpha : 0.0f;
    const float red = (top[i + 1] * topAlpha + bottom[i + 1] * bottomWeight) * scale;
    const float green = (top[i + 2] * topAlpha + bottom[i + 2] * bottomWeight) * scale;
    const float blue = (top[i + 3] * topAlpha + bottom[i + 3] * bottomWeight) * scale;
    destination[i] = toByte(alpha * 255.0f);
    destination[i + 1] = toByte(red);
    destination[i + 2] = toByte(green);
    destination[i + 3] = toByte(blue);
  }
}

}  // namespace

void vImageBufferFill_ARGB8888(const vImage_Buffer& destination, const std::array<std::uint8_t, 4>& color) {
  std::uint32_t pattern;
  std::memcpy(&pattern, color.data(), 4);
  for (std::size_t y = 0; y < destination.height; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(destination.row(y));
    std::fill(row, row + destination.width, pattern);
  }
}

void vImageCopyBuffer(const vImage_Buffer& source, const vImage_Buffer& destination, std::size_t bytesPerPixel) {
  const std::size_t bytes = source.width * bytesPerPixel;
  for (std::size_t y = 0; y < source.height; ++y) std::memmove(destination.row(y), source.row(y), bytes);
}

void vImageAlphaBlend_ARGB8888(const vImage_Buffer& top, const vImage_Buffer& bottom,
                               const vImage_Buffer& destination) {
  for (std::size_t y = 0; y < top.height; ++y) blendRow(top.row(y), bottom.row(y), destination.row(y), top.width);
}

void vImageMultiplyAlpha_ARGB8888(const vImage_Buffer& mask, const vImage_Buffer& image) {
  for (std::size_t y = 0; y < image.height; ++y) {
    const std::uint8_t* values = mask.row(y);
    std::uint8_t* pixels = image.row(y);
    for (std::size_t x = 0; x < image.width; ++x) {
      pixels[x * 4] = static_cast<std::uint8_t>((pixels[x * 4] * values[x] + 127) / 255);
    }
  }
}

void vImageConvert_ARGB8888toPlanarF(const vImage_Buffer& source, const std::array<vImage_Buffer, 4>& planes,
                                     const std::array<float, 4>& maximum, const std::array<float, 4>& minimum) {
  std::array<float, 4> scale;
  for (int c = 0; c < 4; ++c) scale[c] = (maximum[c] - minimum[c]) / 255.0f;
  for (std::size_t y = 0; y < source.height; ++y) {
    const std::uint8_t* in = source.row(y);
    for (int c = 0; c < 4; ++c) {
      auto* out = reinterpret_cast<float*>(planes[c].row(y));
      for (std::size_t x = 0; x < source.width; ++x) out[x] = in[x * 4 + c] * scale[c] + minimum[c];
    }
  }
}

void vImageConvert_PlanarFtoPlanar8(const vImage_Buffer& source, const vImage_Buffer& destination, float maximum,
                                    float minimum) {
  const float scale = 255.0f / (maximum - minimum);
  for (std::size_t y = 0; y < source.height; ++y) {
    const auto* in = reinterpret_cast<const float*>(source.row(y));
    std::uint8_t* out = destination.row(y);
    for (std::size_t x = 0; x < source.width; ++x) out[x] = toByte((in[x] - minimum) * scale);
  }
}

bool vImageBuffer_InitWithCGImage(vImagePixelBuffer& destination, const CGImage& image) {
  if (!destination.reshape(image.width(), image.height(), 4)) return false;
  const vImage_Buffer& out = destination.buffer();
  for (std::size_t y = 0; y < image.height(); ++y) {
    const std::uint8_t* in = image.data() + y * image.bytesPerRow();
    std::uint8_t* row = out.row(y);
    if (image.pixelFormat() == CGImagePixelFormat::argb8888) {
      std::memcpy(row, in, image.width() * 4);
    } else {
      for (std::size_t x = 0; x < image.width(); ++x) {
        row[x * 4] = 255;
        row[x * 4 + 1] = row[x * 4 + 2] = row[x * 4 + 3] = in[x];
      }
    }
  }
  return true;
}

}  // namespace platform
