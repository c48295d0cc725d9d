#pragma once

#include <memory>

#include "Platform/CoreGraphics/CGImage.hpp"

namespace fluvio {

// Something that draws itself as an image.
class Shape {
 public:
  virtual ~Shape() = default;
  virtual std::shared_ptr<platform::CGImage> makeImage() = 0;
};

// An 8-bit coverage mask: 255 inside a rectangle with rounded corners, 0
// outside, antialiased at the edge. A radius beyond half the shorter side
// is clamped.
class RoundedSquareShape final : public Shape {
 public:
  platform::CGRect rect;
  platform::CGFloat cornerRadius = 0;

  std::shared_ptr<platform::CGImage> makeImage() override;
};

}  // namespace fluvio
