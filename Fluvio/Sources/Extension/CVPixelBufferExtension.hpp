#pragma once

#include "Platform/AVFoundation/CGGeometry.hpp"
#include <memory>

#include "Fluvio/Sources/Extension/CVPixelBufferError.hpp"
#include "Platform/CoreImage/CIImage.hpp"
#include "Platform/CoreMedia/CVPixelBuffer.hpp"

namespace fluvio {

// The buffer's width and height in points, for layout code.
inline platform::CGSize size(const platform::CVPixelBuffer& pixelBuffer) noexcept {
  return {static_cast<platform::CGFloat>(pixelBuffer.width()), static_cast<platform::CGFloat>(pixelBuffer.height())};
}

// The buffer as an image, read under a read-only lock. Throws
// CVPixelBufferError when the lock fails or the format cannot be read.
platform::CIImage::Pointer makeCIImage(const std::shared_ptr<platform::CVPixelBuffer>& pixelBuffer);

}  // namespace fluvio
