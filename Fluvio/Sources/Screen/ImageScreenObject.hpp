#pragma once

#include <memory>

#include "Fluvio/Sources/Screen/ScreenObject.hpp"

namespace fluvio {

// Shows a still image, by default at its own pixel size. The renderers clip
// what lies off the canvas.
class ImageScreenObject : public ScreenObject {
 public:
  static std::shared_ptr<ImageScreenObject> make() { return std::make_shared<ImageScreenObject>(); }

  const std::shared_ptr<const platform::CGImage>& cgImage() const noexcept { return cgImage_; }
  void setCGImage(std::shared_ptr<const platform::CGImage> image);

  ScreenObjectImage<platform::CGImage> makeCGImage(ScreenRenderer& renderer) override;
  ScreenObjectImage<platform::CIImage> makeCIImage(ScreenRenderer& renderer) override;
  platform::CGRect makeBounds(const platform::CGSize& size) override;

 private:
  std::shared_ptr<const platform::CGImage> cgImage_;
};

}  // namespace fluvio
