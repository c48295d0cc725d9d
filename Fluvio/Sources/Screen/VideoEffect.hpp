#pragma once

#include "Platform/CoreImage/CIImage.hpp"

namespace fluvio {

// Replaces a video picture with another (a filter). Compared by identity.
class VideoEffect {
 public:
  virtual ~VideoEffect() = default;
  virtual platform::CIImage::Pointer execute(const platform::CIImage::Pointer& image) = 0;
};

}  // namespace fluvio
