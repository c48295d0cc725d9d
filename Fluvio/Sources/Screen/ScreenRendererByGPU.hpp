#pragma once

#include <memory>
#include <optional>
#include <unordered_map>

#include "Fluvio/Sources/Screen/ChromaKeyProcessor.hpp"
#include "Fluvio/Sources/Screen/DynamicRangeMode.hpp"
#include "Fluvio/Sources/Screen/RoundedRectangleFactory.hpp"
#include "Fluvio/Sources/Screen/ScreenRenderer.hpp"

namespace fluvio {

// Composes with Core Image recipes: each object's picture is prepared at
// layout (corners by an alpha mask, else a chroma key), put over a
// background-filled canvas at draw with the screen's top-left origin
// flipped into the recipe's bottom-left one, and the canvas is rendered
// once per frame into the output buffer, on the GPU context when there is one.
class ScreenRendererByGPU final : public ScreenRenderer {
 public:
  explicit ScreenRendererByGPU(DynamicRangeMode mode);

  platform::CIContext& context() override { return *context_; }
  std::shared_ptr<const platform::CGColorSpace> imageColorSpace() const override { return colorSpace_; }
  void setBackgroundColor(const platform::CGColor& color) override;

  void layout(ScreenObject& object) override;
  void draw(ScreenObject& object) override;
  void setTarget(std::shared_ptr<platform::CVPixelBuffer> pixelBuffer) override;
  void render() override;

  const RoundedRectangleFactory& roundedRectangleFactory() const noexcept { return roundedRectangleFactory_; }

 private:
  struct Prepared {
    std::weak_ptr<ScreenObject> owner;
    platform::CIImage::Pointer image;
  };

  DynamicRangeMode mode_;
  std::shared_ptr<platform::CIContext> context_;
  std::shared_ptr<const platform::CGColorSpace> colorSpace_;
  platform::CIColor backgroundCIColor_{0, 0, 0, 0};
  platform::CIImage::Pointer canvas_ = platform::CIImage::empty();
  std::unordered_map<std::uint64_t, Prepared> images_;
  std::shared_ptr<platform::CVPixelBuffer> pixelBuffer_;
  std::optional<ChromaKeyProcessor> chromaKeyProcessor_;
  RoundedRectangleFactory roundedRectangleFactory_;
};

}  // namespace fluvio
