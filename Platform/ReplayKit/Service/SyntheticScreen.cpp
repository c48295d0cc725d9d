#include "Platform/ReplayKit/Service/SyntheticScreen.hpp"

#include <algorithm>
#include <cstring>

#include "Platform/ReplayKit/Service/SyntheticSignal.hpp"

namespace platform::broadcastservice {
namespace {

constexpr int squareSide = 160;
constexpr int bytesPerPixel = 4;
constexpr std::size_t rowBytes = std::size_t{SyntheticScreen::width} * bytesPerPixel;
// The green of the background rises by one this many times down the picture.
constexpr int greenSteps = 40;

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
    : pool_(std::move(pool)), format_(std::move(format)), backgroundRows_(std::size_t{greenSteps} * rowBytes),
      squareRow_(std::size_t{squareSide} * bytesPerPixel) {
  for (int step = 0; step < greenSteps; ++step) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* pixel = &backgroundRows_[step * rowBytes + std::size_t(x) * bytesPerPixel];
      pixel[0] = static_cast<std::uint8_t>(40 + 60 * x / width);  // blue
      pixel[1] = static_cast<std::uint8_t>(20 + step);            // green
      pixel[2] = 30;                                               // red
      pixel[3] = 255;
    }
  }
  const std::uint8_t orange[] = {0, 140, 230, 255};
  for (int x = 0; x < squareSide; ++x) std::memcpy(&squareRow_[std::size_t(x) * bytesPerPixel], orange, bytesPerPixel);
}

std::shared_ptr<CMSampleBuffer> SyntheticScreen::frame(std::uint64_t hostTime, std::uint64_t index) {
  auto picture = pool_->createPixelBuffer().value;
  if (!picture) return nullptr;
  picture->lockBaseAddress(0);
  std::uint8_t* base = picture->baseAddress();
  const std::size_t stride = picture->bytesPerRow();
  if (SyntheticSignal::isFlash(index)) {
    for (int y = 0; y < height; ++y) std::memset(base + y * stride, 255, rowBytes);
  } else {
    for (int y = 0; y < height; ++y) {
      std::memcpy(base + y * stride, &backgroundRows_[std::size_t(greenSteps * y / height) * rowBytes], rowBytes);
    }
    const int left = static_cast<int>(index * 8 % (width - squareSide));
    const int top = (height - squareSide) / 2;
    for (int y = top; y < top + squareSide; ++y) {
      std::memcpy(base + y * stride + std::size_t(left) * bytesPerPixel, squareRow_.data(), squareRow_.size());
    }
  }
  picture->unlockBaseAddress(0);
  return makeFrameSampleBuffer(std::move(picture), format_, hostTime);
}

}  // namespace platform::broadcastservice
