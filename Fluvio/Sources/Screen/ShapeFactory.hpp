#pragma once

#include <map>
#include <memory>
#include <tuple>

#include "Fluvio/Sources/Screen/RoundedSquareShape.hpp"
#include "Platform/CoreGraphics/vImageBuffer.hpp"

namespace fluvio {

// Corner masks for the CPU renderer, made once per size and radius.
class ShapeFactory {
 public:
  // The planar 8-bit mask, or none when it cannot be made. The buffer lives
  // as long as the factory.
  const platform::vImage_Buffer* cornerRadius(const platform::CGSize& size, platform::CGFloat cornerRadius);
  std::size_t cachedMaskCount() const noexcept { return imageBuffers_.size(); }

 private:
  std::map<std::tuple<double, double, double>, platform::vImagePixelBuffer> imageBuffers_;
  RoundedSquareShape roundedSquareShape_;
};

}  // namespace fluvio
