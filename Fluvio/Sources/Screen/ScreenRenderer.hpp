#pragma once

#include <memory>

#include "Fluvio/Sources/Screen/ScreenObject.hpp"
#include "Platform/CoreGraphics/CGColor.hpp"
#include "Platform/CoreGraphics/CGColorSpace.hpp"
#include "Platform/CoreImage/CIContext.hpp"
#include "Platform/CoreMedia/CMClock.hpp"
#include "Platform/CoreMedia/CMTime.hpp"
#include "Platform/CoreMedia/CVPixelBuffer.hpp"

namespace fluvio {

// Turns the screen-object tree into one frame: objects are prepared at
// layout, put on the canvas at draw, and the frame is finished by render().
class ScreenRenderer {
 public:
  virtual ~ScreenRenderer() = default;

  virtual platform::CIContext& context() = 0;
  // The colour space images are interpreted in; none when the mode has none.
  virtual std::shared_ptr<const platform::CGColorSpace> imageColorSpace() const = 0;

  const platform::CGColor& backgroundColor() const noexcept { return backgroundColor_; }
  virtual void setBackgroundColor(const platform::CGColor& color) { backgroundColor_ = color; }
  const platform::CGRect& bounds() const noexcept { return bounds_; }
  void setBounds(const platform::CGRect& bounds) noexcept { bounds_ = bounds; }
  const platform::CMTime& presentationTimeStamp() const noexcept { return presentationTimeStamp_; }
  void setPresentationTimeStamp(const platform::CMTime& time) noexcept { presentationTimeStamp_ = time; }
  const std::shared_ptr<platform::CMClock>& synchronizationClock() const noexcept { return synchronizationClock_; }
  void setSynchronizationClock(std::shared_ptr<platform::CMClock> clock) { synchronizationClock_ = std::move(clock); }

  virtual void layout(ScreenObject& object) = 0;
  virtual void draw(ScreenObject& object) = 0;
  virtual void setTarget(std::shared_ptr<platform::CVPixelBuffer> pixelBuffer) = 0;
  virtual void render() = 0;

 private:
  platform::CGRect bounds_{{0, 0}, {1280, 720}};
  platform::CMTime presentationTimeStamp_ = platform::CMTime::zero;
  std::shared_ptr<platform::CMClock> synchronizationClock_;
  platform::CGColor backgroundColor_ = platform::CGColor::clear();
};

}  // namespace fluvio
