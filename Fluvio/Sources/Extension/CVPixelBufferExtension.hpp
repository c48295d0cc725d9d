#pragma once

#include "Platform/AVFoundation/CGGeometry.hpp"
#include "Platform/CoreMedia/CVPixelBuffer.hpp"

namespace fluvio {

// The buffer's width and height in points, for layout code.
inline platform::CGSize size(const platform::CVPixelBuffer& pixelBuffer) noexcept {
  return {static_cast<platform::CGFloat>(pixelBuffer.width()), static_cast<platform::CGFloat>(pixelBuffer.height())};
}

}  // namespace fluvio
