#pragma once

// Synthetic moving pictures and the measures the video tests judge them by.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "Platform/CoreMedia/CVPixelBuffer.hpp"

namespace videotest {

// Smooth gradients, a bar and a disc that move, and a faint scrolling
// texture, so the encoder has detail to spend bits on. `frame` moves it.
inline std::uint8_t patternLuma(int x, int y, int frame) {
  const int gradient = (x + 2 * frame) / 8 + (y + frame) / 6;
  const bool bar = ((x + 6 * frame) / 40) % 5 == 0;
  const int dx = x - (200 + 4 * frame) % 1000;
  const int dy = y - 300;
  const bool disc = dx * dx + dy * dy < 90 * 90;
  const std::uint32_t cell = static_cast<std::uint32_t>(((x + 3 * frame) / 4) * 73856093u ^ (y / 4) * 19349663u);
  const int texture = static_cast<int>(cell % 17) - 8;
  int value = 40 + gradient % 120 + texture + (bar ? 40 : 0) + (disc ? -30 : 0);
  return static_cast<std::uint8_t>(std::clamp(value, 16, 235));
}

inline std::uint8_t patternChroma(int x, int y, int frame, int channel) {
  return static_cast<std::uint8_t>(128 + ((x + y * channel + frame * 3) / 16) % 40 - 20);
}

// 4:2:0 bi-planar, video range.
inline std::shared_ptr<platform::CVPixelBuffer> makeNV12(int width, int height, int frame) {
  auto buffer = platform::CVPixelBuffer::make(width, height, platform::kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange).value;
  buffer->lockBaseAddress(0);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = buffer->baseAddressOfPlane(0) + y * buffer->bytesPerRowOfPlane(0);
    for (int x = 0; x < width; ++x) row[x] = patternLuma(x, y, frame);
  }
  for (int y = 0; y < (height + 1) / 2; ++y) {
    std::uint8_t* row = buffer->baseAddressOfPlane(1) + y * buffer->bytesPerRowOfPlane(1);
    for (int x = 0; x < (width + 1) / 2; ++x) {
      row[2 * x] = patternChroma(x, y, frame, 1);
      row[2 * x + 1] = patternChroma(x, y, frame, 2);
    }
  }
  buffer->unlockBaseAddress(0);
  return buffer;
}

// A grey version of the pattern, whose video-range luma is the pattern's.
inline std::shared_ptr<platform::CVPixelBuffer> makeBGRA(int width, int height, int frame) {
  auto buffer = platform::CVPixelBuffer::make(width, height, platform::kCVPixelFormatType_32BGRA).value;
  buffer->lockBaseAddress(0);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = buffer->baseAddress() + y * buffer->bytesPerRow();
    for (int x = 0; x < width; ++x) {
      const double luma = patternLuma(x, y, frame);
      const auto grey = static_cast<std::uint8_t>(std::clamp(std::lround((luma - 16) * 255.0 / 219.0), 0L, 255L));
      row[4 * x] = row[4 * x + 1] = row[4 * x + 2] = grey;
      row[4 * x + 3] = 255;
    }
  }
  buffer->unlockBaseAddress(0);
  return buffer;
}

// The luma plane of a 4:2:0 buffer, row after row without padding.
inline std::vector<std::uint8_t> lumaOf(platform::CVPixelBuffer& buffer) {
  std::vector<std::uint8_t> luma;
  luma.reserve(buffer.width() * buffer.height());
  buffer.lockBaseAddress(platform::kCVPixelBufferLock_ReadOnly);
  for (std::size_t y = 0; y < buffer.height(); ++y) {
    const std::uint8_t* row = buffer.baseAddressOfPlane(0) + y * buffer.bytesPerRowOfPlane(0);
    luma.insert(luma.end(), row, row + buffer.width());
  }
  buffer.unlockBaseAddress(platform::kCVPixelBufferLock_ReadOnly);
  return luma;
}

inline std::vector<std::uint8_t> patternLumaPlane(int width, int height, int frame) {
  std::vector<std::uint8_t> luma(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) luma[static_cast<std::size_t>(y) * width + x] = patternLuma(x, y, frame);
  }
  return luma;
}

inline double psnr(const std::vector<std::uint8_t>& reference, const std::vector<std::uint8_t>& measured) {
  if (reference.size() != measured.size() || reference.empty()) return 0;
  double squares = 0;
  for (std::size_t index = 0; index < reference.size(); ++index) {
    const double difference = static_cast<double>(reference[index]) - measured[index];
    squares += difference * difference;
  }
  const double meanSquare = squares / static_cast<double>(reference.size());
  return meanSquare == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / meanSquare);
}

}  // namespace videotest
