#include "Platform/CoreGraphics/vImageBuffer.hpp"

#include <cstdlib>

namespace platform {

namespace {
constexpr std::size_t alignment = 64;
}

void vImagePixelBuffer::Free::operator()(void* memory) const noexcept { std::free(memory); }

bool vImagePixelBuffer::reshape(std::size_t width, std::size_t height, std::size_t bytesPerPixel) {
  const std::size_t rowBytes = (width * bytesPerPixel + alignment - 1) / alignment * alignment;
  const std::size_t size = rowBytes * height;
  if (size > capacity_ || !memory_) {
    memory_.reset(size ? std::aligned_alloc(alignment, size) : nullptr);
    capacity_ = memory_ ? size : 0;
    if (!memory_) {
      view_ = {};
      return false;
    }
  }
  view_ = {memory_.get(), height, width, rowBytes};
  return true;
}

}  // namespace platform
