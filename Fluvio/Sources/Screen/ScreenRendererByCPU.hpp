#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>

#include "Fluvio/Sources/Screen/ChromaKeyProcessor.hpp"
#include "Fluvio/Sources/Screen/DynamicRangeMode.hpp"
#include "Fluvio/Sources/Screen/ScreenRenderer.hpp"
#include "Fluvio/Sources/Screen/ShapeFactory.hpp"
#include "Platform/CoreGraphics/vImageBuffer.hpp"
#include "Platform/CoreImage/vImageConverter.hpp"

namespace fluvio {

// Composes on the CPU: each object's picture is converted to ARGB once per
// layout (corners or chroma key in its alpha), and every frame copies or
// blends the prepared pictures onto the canvas, clipped to it. The canvas is
// the output buffer itself for 32-bit ARGB; other formats are composed in a
// kept ARGB buffer and converted at render() by a converter made once per
// target format.
class ScreenRendererByCPU final : public ScreenRenderer {
 public:
  explicit ScreenRendererByCPU(DynamicRangeMode mode);

  platform::CIContext& context() override { return *context_; }
  std::shared_ptr<const platform::CGColorSpace> imageColorSpace() const override { return colorSpace_; }
  void setBackgroundColor(const platform::CGColor& color) override;
  // A, R, G, B of the background.
  const std::array<std::uint8_t, 4>& backgroundColorUInt8Array() const noexcept { return backgroundBytes_; }

  void layout(ScreenObject& object) override;
  void draw(ScreenObject& object) override;
  void setTarget(std::shared_ptr<platform::CVPixelBuffer> pixelBuffer) override;
  void render() override;

  const ShapeFactory& shapeFactory() const noexcept { return shapeFactory_; }

 private:
  struct Prepared {
    std::weak_ptr<ScreenObject> owner;
    platform::vImagePixelBuffer pixels;
    bool isValid = false;
  };

  ChromaKeyProcessor* chromaKeyProcessor();

  std::shared_ptr<platform::CIContext> context_;
  std::shared_ptr<const platform::CGColorSpace> colorSpace_;
  std::array<std::uint8_t, 4> backgroundBytes_{0, 0, 0, 0};
  std::unordered_map<std::uint64_t, Prepared> images_;
  ShapeFactory shapeFactory_;
  std::optional<ChromaKeyProcessor> chromaKeyProcessor_;

  std::shared_ptr<platform::CVPixelBuffer> target_;
  platform::vImage_Buffer canvas_;
  platform::vImagePixelBuffer composed_;  // canvas for targets that are not 32-bit ARGB
  std::optional<platform::OSType> pixelFormatType_;
  std::unique_ptr<platform::vImageConverter> converter_;
};

}  // namespace fluvio
