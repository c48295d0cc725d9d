#pragma once

#include "Platform/CoreGraphics/vImageBuffer.hpp"
#include "Platform/CoreImage/CIImage.hpp"

namespace platform {

// Executes recipes. `rect` is in the recipe's coordinates and integral; the
// destination is its size in straight-alpha ARGB, top row first. Pixels the
// recipe does not cover become transparent black.
class CIEvaluator {
 public:
  virtual ~CIEvaluator() = default;
  virtual bool renderARGB(const CIImage& image, const CGRect& rect, const vImage_Buffer& destination) = 0;
};

}  // namespace platform
