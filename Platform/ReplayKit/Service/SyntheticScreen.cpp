#include "Platform/ReplayKit/Service/SyntheticScreen.hpp"

#include <algorithm>
#include <cstring>

#include "Platform/ReplayKit/Service/SyntheticSignal.hpp"

namespace platform::broadcastservice {
namespace {

constexpr int squareSide = 160;
constexpr int bytesPerPixel = 4;

}  // namespace

std::unique_ptr<SyntheticScreen> SyntheticScreen::make() {
  auto pool = CVPixelBufferPool::make({kCVPixelFormatType_32BGRA, width, height});
  if (!pool) return nullptr;
  auto sample = pool.value->createPixelBuffer();
  if (!sample) return nullptr;
  auto format = CMFormatDescription::makeForImageBuffer(*sample.value);
  if (!format) return nullptr;
  return std::unique_ptr<SyntheticScreen>(new SyntheticScreen(pool.value, format.value));
}

SyntheticScreen::SyntheticScreen(std::shared_ptr<CVPixelBufferPool> pool,
                                 std::shared_ptr<const CMFormatDescription> format)
    : pool_(std::move(pool)), format_(std::move(format)), background_(std::size_t{width} * height * bytesPerPixel) {
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* pixel = &background_[(std::size_t(y) * width + x) * bytesPerPixel];
      pixel[0] = static_cast<std::uint8_t>(40 + 60 * x / width);   // blue
      pixel[1] = static_cast<std::uint8_t>(20 + 40 * y / height);  // green
      pixel[2] = 30;                                                // red
      pixel[3] = 255;
    }
  }
}

std::shared_ptr<CMSampleBuffer> SyntheticScreen::frame(std::uint64_t hostTime, std::uint64_t index) {
  auto picture = pool_->createPixelBuffer().value;
  if (!picture) return nullptr;
  picture->lockBaseAddress(0);
  std::uint8_t* base = picture->baseAddress();
  const std::size_t stride = picture->bytesPerRow();
  const std::size_t rowBytes = std::size_t{width} * bytesPerPixel;
  if (SyntheticSignal::isFlash(index)) {
    for (int y = 0; y < height; ++y) std::memset(base + y * stride, 255, rowBytes);
  } else {
    for (int y = 0; y < height; ++y) std::memcpy(base + y * stride, &background_[y * rowBytes], rowBytes);
    const int left = static_cast<int>(index * 8 % (width - squareSide));
    const int top = (height - squareSide) / 2;
    for (int y = top; y < top + squareSide; ++y) {
      std::uint8_t* row = base + y * stride + std::size_t(left) * bytesPerPixel;
      for (int x = 0; x < squareSide; ++x) {
        const std::uint8_t orange[] = {0, 140, 230, 255};
        std::memcpy(row + x * bytesPerPixel, orange, bytesPerPixel);
      }
    }
  }
  picture->unlockBaseAddress(0);
  return makeFrameSampleBuffer(std::move(picture), format_, hostTime);
}

}  // namespace platform::broadcastservice
