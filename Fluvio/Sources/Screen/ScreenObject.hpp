#pragma once

#include <cstdint>
#include <memory>

#include "Fluvio/Sources/Screen/ScreenObjectImage.hpp"
#include "Platform/AVFoundation/CGGeometry.hpp"
#include "Platform/CoreGraphics/CGImage.hpp"
#include "Platform/CoreImage/CIImage.hpp"

namespace fluvio {

class ScreenObjectContainer;
class ScreenRenderer;

struct UIEdgeInsets {
  platform::CGFloat top = 0;
  platform::CGFloat left = 0;
  platform::CGFloat bottom = 0;
  platform::CGFloat right = 0;

  friend bool operator==(const UIEdgeInsets&, const UIEdgeInsets&) = default;
};

// A visible element of the composed picture: it places itself in its
// parent's rectangle (top-left origin) and hands its picture to a renderer.
// Objects are shared and compared by identity; used on ScreenActor only.
class ScreenObject : public std::enable_shared_from_this<ScreenObject> {
 public:
  enum class HorizontalAlignment { left, center, right };
  enum class VerticalAlignment { top, middle, bottom };

  ScreenObject();
  virtual ~ScreenObject() = default;
  ScreenObject(const ScreenObject&) = delete;
  ScreenObject& operator=(const ScreenObject&) = delete;

  // Unique for the process; renderers key their caches by it.
  std::uint64_t identifier() const noexcept { return identifier_; }

  std::shared_ptr<ScreenObjectContainer> parent() const { return parent_.lock(); }

  const platform::CGSize& size() const noexcept { return size_; }
  // A zero width or height fills the parent in that direction.
  void setSize(const platform::CGSize& size);
  const platform::CGRect& bounds() const noexcept { return bounds_; }
  virtual void setBounds(const platform::CGRect& bounds) { bounds_ = bounds; }
  bool isVisible() const noexcept { return isVisible_; }
  void setVisible(bool visible) noexcept { isVisible_ = visible; }
  const UIEdgeInsets& layoutMargin() const noexcept { return layoutMargin_; }
  void setLayoutMargin(const UIEdgeInsets& margin) noexcept { layoutMargin_ = margin; }
  platform::CGFloat cornerRadius() const noexcept { return cornerRadius_; }
  void setCornerRadius(platform::CGFloat radius) noexcept { cornerRadius_ = radius; }
  VerticalAlignment verticalAlignment() const noexcept { return verticalAlignment_; }
  void setVerticalAlignment(VerticalAlignment alignment) noexcept { verticalAlignment_ = alignment; }
  HorizontalAlignment horizontalAlignment() const noexcept { return horizontalAlignment_; }
  void setHorizontalAlignment(HorizontalAlignment alignment) noexcept { horizontalAlignment_ = alignment; }

  // Whether the renderer must blend the picture rather than copy it.
  virtual bool isTranslucent() const { return true; }

  bool shouldInvalidateLayout() const noexcept { return shouldInvalidateLayout_; }
  void setShouldInvalidateLayout(bool value) noexcept { shouldInvalidateLayout_ = value; }
  void invalidateLayout() noexcept { shouldInvalidateLayout_ = true; }

  // The picture for the CPU renderer (bitmap) and for the GPU renderer
  // (recipe, in its own coordinates with the origin at its bottom-left).
  virtual ScreenObjectImage<platform::CGImage> makeCGImage(ScreenRenderer& renderer);
  virtual ScreenObjectImage<platform::CIImage> makeCIImage(ScreenRenderer& renderer);

  // Places a box of `size` in the parent by margins and alignments.
  virtual platform::CGRect makeBounds(const platform::CGSize& size);
  virtual void layout(ScreenRenderer& renderer);
  virtual void draw(ScreenRenderer& renderer);

 private:
  friend class ScreenObjectContainer;

  std::uint64_t identifier_;
  std::weak_ptr<ScreenObjectContainer> parent_;
  platform::CGSize size_;
  platform::CGRect bounds_;
  bool isVisible_ = true;
  UIEdgeInsets layoutMargin_;
  platform::CGFloat cornerRadius_ = 0;
  VerticalAlignment verticalAlignment_ = VerticalAlignment::top;
  HorizontalAlignment horizontalAlignment_ = HorizontalAlignment::left;
  bool shouldInvalidateLayout_ = true;
};

}  // namespace fluvio
