#include "Fluvio/Sources/Screen/ShapeFactory.hpp"

#include <cstring>

namespace fluvio {

using namespace platform;

const vImage_Buffer* ShapeFactory::cornerRadius(const CGSize& size, CGFloat cornerRadius) {
  const auto key = std::make_tuple(size.width, size.height, cornerRadius);
  if (const auto found = imageBuffers_.find(key); found != imageBuffers_.end()) return &found->second.buffer();
  roundedSquareShape_.rect = {{0, 0}, size};
  roundedSquareShape_.cornerRadius = cornerRadius;
  const auto image = roundedSquareShape_.makeImage();
  if (!image) return nullptr;
  vImagePixelBuffer mask;
  if (!mask.reshape(image->width(), image->height(), 1)) return nullptr;
  for (std::size_t y = 0; y < image->height(); ++y) {
    std::memcpy(mask.buffer().row(y), image->data() + y * image->bytesPerRow(), image->width());
  }
  return &imageBuffers_.emplace(key, std::move(mask)).first->second.buffer();
}

}  // namespace fluvio
