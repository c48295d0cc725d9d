#pragma once

#include <map>
#include <tuple>

#include "Platform/CoreImage/CIImage.hpp"

namespace fluvio {

// Corner masks for the GPU renderer: one rounded-rectangle recipe per size
// and radius, made once and kept for the factory's life.
class RoundedRectangleFactory {
 public:
  // White inside the rounded rectangle at the origin, transparent outside;
  // none for a size without area.
  platform::CIImage::Pointer cornerRadius(const platform::CGSize& size, platform::CGFloat cornerRadius);
  std::size_t cachedMaskCount() const noexcept { return imageBuffers_.size(); }

 private:
  std::map<std::tuple<double, double, double>, platform::CIImage::Pointer> imageBuffers_;
};

}  // namespace fluvio
