#pragma once

#include <memory>
#include <vector>

#include "Platform/CoreImage/CIEvaluator.hpp"
#include "Platform/CoreImage/CIFormat.hpp"
#include "Platform/CoreImage/CIPixelBufferConverter.hpp"

namespace platform {

// Evaluates recipes with OpenGL ES 3 on an EGL display without a window
// (Mesa's surfaceless platform; its software rasteriser where there is no
// GPU). The recipe is flattened into layers drawn in order with
// premultiplied blending into a target of the working format (half floats
// where the driver can draw into them): a source or a colour, its placement,
// a clip, an optional rounded-rectangle mask and an optional colour-key
// table. The GL context belongs to the thread that made the evaluator.
class CIGPUEvaluator final : public CIEvaluator {
 public:
  // None when no display or context can be had.
  static std::unique_ptr<CIGPUEvaluator> make(CIFormat workingFormat = CIFormat::RGBA8);
  ~CIGPUEvaluator() override;

  bool renderARGB(const CIImage& image, const CGRect& rect, const vImage_Buffer& destination) override;

 private:
  struct State;
  explicit CIGPUEvaluator(std::unique_ptr<State> state);

  std::unique_ptr<State> state_;
};

}  // namespace platform
