#pragma once

#include <memory>
#include <string>

#include "Platform/CoreGraphics/CGColorSpace.hpp"
#include "Platform/CoreGraphics/vImageBuffer.hpp"
#include "Platform/CoreImage/CIEvaluator.hpp"
#include "Platform/CoreImage/CIFormat.hpp"
#include "Platform/CoreImage/CIPixelBufferConverter.hpp"

namespace platform {

// Options a context is made with: the working format, and the working and
// output colour spaces (carried). The CPU evaluator composes in single floats
// whatever the working format asks.
struct CIContextOptions {
  CIFormat workingFormat = CIFormat::RGBA8;
  std::shared_ptr<const CGColorSpace> workingColorSpace;
  std::shared_ptr<const CGColorSpace> outputColorSpace;
};

// Renders recipes, on the CPU or on the GPU. One thread at a time.
class CIContext {
 public:
  static std::shared_ptr<CIContext> make(const CIContextOptions& options = {});
  // The GPU context when an OpenGL ES 3 display can be had, else none.
  static std::shared_ptr<CIContext> makeGPU(const CIContextOptions& options = {});

  CIContext(std::unique_ptr<CIEvaluator> evaluator, CIContextOptions options, bool isGPU);

  bool isGPU() const noexcept { return isGPU_; }
  const CIContextOptions& options() const noexcept { return options_; }

  // The part of the image inside `rect` (made integral) as a bitmap; none
  // when the rect is empty or the recipe cannot be rendered.
  std::shared_ptr<CGImage> createCGImage(const CIImage& image, const CGRect& rect);
  // The same, rendered into `reusable` when nobody else holds it or its pixels
  // and it has the size and format the bitmap needs (so a stream of equal-sized pictures
  // allocates nothing); else into a new bitmap.
  std::shared_ptr<CGImage> createCGImage(const CIImage& image, const CGRect& rect, std::shared_ptr<CGImage> reusable);
  // Renders the image's part inside `bounds` into the buffer: the bounds'
  // bottom-left lands on the buffer's bottom-left pixel. False when the
  // buffer's format cannot be written.
  bool render(const CIImage& image, CVPixelBuffer& buffer, const CGRect& bounds);

 private:
  std::unique_ptr<CIEvaluator> evaluator_;
  CIContextOptions options_;
  bool isGPU_;
  vImagePixelBuffer scratch_;
  CIPixelBufferConverter converter_;
};

}  // namespace platform
