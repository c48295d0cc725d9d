#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "Platform/AVFoundation/CGGeometry.hpp"

namespace platform {

// Pixel layouts of images: 8-bit gray, or 8-bit ARGB with straight
// (non-premultiplied) alpha, bytes in the order A, R, G, B.
enum class CGImagePixelFormat { gray8, argb8888 };

inline constexpr std::size_t bytesPerPixel(CGImagePixelFormat format) noexcept {
  return format == CGImagePixelFormat::gray8 ? 1 : 4;
}

// An immutable bitmap. Crops share the pixels of the image they were cut from.
class CGImage {
 public:
  using Storage = std::shared_ptr<std::uint8_t[]>;

  // Zeroed pixels; none for a side of 0 or below or beyond 16384.
  static std::shared_ptr<CGImage> make(std::int64_t width, std::int64_t height, CGImagePixelFormat format);
  // Pixels that the caller filled: `storage` holds height rows of bytesPerRow.
  CGImage(std::size_t width, std::size_t height, std::size_t bytesPerRow, CGImagePixelFormat format, Storage storage,
          std::size_t offset = 0);

  std::size_t width() const noexcept { return width_; }
  std::size_t height() const noexcept { return height_; }
  std::size_t bytesPerRow() const noexcept { return bytesPerRow_; }
  CGImagePixelFormat pixelFormat() const noexcept { return format_; }
  const std::uint8_t* data() const noexcept { return storage_.get() + offset_; }
  // For the maker only, before the image is handed out.
  std::uint8_t* mutableData() noexcept { return storage_.get() + offset_; }
  // Whether `image` may be drawn over again: no one else holds it or a crop of its pixels.
  static bool isUnshared(const std::shared_ptr<CGImage>& image) noexcept {
    return image && image.use_count() == 1 && image->storage_.use_count() == 1;
  }

  // The part of the image inside `rect` (top-left origin, in pixels), made
  // integral and clipped to the image; none when nothing is left.
  std::shared_ptr<CGImage> cropping(const CGRect& rect) const;

 private:
  std::size_t width_;
  std::size_t height_;
  std::size_t bytesPerRow_;
  CGImagePixelFormat format_;
  Storage storage_;
  std::size_t offset_;
};

}  // namespace platform
