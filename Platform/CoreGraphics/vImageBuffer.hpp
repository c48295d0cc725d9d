#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform {

// A view of pixels: height rows of width pixels, rowBytes apart. Owns nothing.
struct vImage_Buffer {
  void* data = nullptr;
  std::size_t height = 0;
  std::size_t width = 0;
  std::size_t rowBytes = 0;

  std::uint8_t* row(std::size_t y) const noexcept { return static_cast<std::uint8_t*>(data) + y * rowBytes; }
  // The sub-rectangle at (x, y) of the given size; the caller keeps it inside.
  vImage_Buffer region(std::size_t x, std::size_t y, std::size_t regionWidth, std::size_t regionHeight,
                       std::size_t bytesPerPixel) const noexcept {
    return {row(y) + x * bytesPerPixel, regionHeight, regionWidth, rowBytes};
  }
};

// Pixels owned by the holder. Reshaping to the size it already has keeps the
// memory, so a buffer reused frame after frame allocates once.
class vImagePixelBuffer {
 public:
  // False when the memory cannot be had (the buffer is then empty).
  bool reshape(std::size_t width, std::size_t height, std::size_t bytesPerPixel);
  const vImage_Buffer& buffer() const noexcept { return view_; }
  bool isEmpty() const noexcept { return view_.data == nullptr; }

 private:
  struct Free {
    void operator()(void* memory) const noexcept;
  };
  std::unique_ptr<void, Free> memory_;
  std::size_t capacity_ = 0;
  vImage_Buffer view_;
};

}  // namespace platform
