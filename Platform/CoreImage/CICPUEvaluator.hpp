#pragma once

#include <array>
#include <unordered_map>
#include <vector>

#include "Platform/CoreImage/CIEvaluator.hpp"
#include "Platform/CoreImage/CIPixelBufferConverter.hpp"

namespace platform {

// The reference evaluator: every output pixel samples the recipe at its
// centre (bilinear sources, analytic rounded rectangles, premultiplied
// compositing in float). A pixel buffer that is only scaled and moved by
// whole pixels, and covers the output, goes through swscale instead.
class CICPUEvaluator final : public CIEvaluator {
 public:
  bool renderARGB(const CIImage& image, const CGRect& rect, const vImage_Buffer& destination) override;

 private:
  using Pixel = std::array<float, 4>;
  struct Raster {
    std::vector<float> premultiplied;  // RGBA, top row first
    std::size_t width = 0;
    std::size_t height = 0;
  };

  bool renderScaledPixelBuffer(const CIImage& image, const CGRect& rect, const vImage_Buffer& destination);
  bool prepare(const CIImage& image);
  Pixel sample(const CIImage& image, double x, double y) const;
  Pixel sampleRaster(const Raster& raster, double x, double y) const;

  std::unordered_map<const CIImage*, Raster> rasters_;
  CIPixelBufferConverter converter_;
  vImagePixelBuffer scratch_;
};

}  // namespace platform
