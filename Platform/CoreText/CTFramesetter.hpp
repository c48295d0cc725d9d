#pragma once

#include <memory>
#include <string>

#include "Platform/CoreGraphics/CGColor.hpp"
#include "Platform/CoreGraphics/CGContext.hpp"

using PangoLayout = struct _PangoLayout;

namespace platform {

// How a string is set: a font (family, weight, size in pixels) and a colour.
struct CTAttributes {
  std::string fontFamily = "DejaVu Sans";
  bool bold = true;
  CGFloat fontSize = 32;
  CGColor foregroundColor = CGColor::white();

  friend bool operator==(const CTAttributes&, const CTAttributes&) = default;
};

// Lays out an attributed string (Pango, fonts through fontconfig): measures
// it within a box and draws it into a bitmap context.
class CTFramesetter {
 public:
  static std::shared_ptr<CTFramesetter> make(const std::string& text, const CTAttributes& attributes);
  ~CTFramesetter();
  CTFramesetter(const CTFramesetter&) = delete;
  CTFramesetter& operator=(const CTFramesetter&) = delete;

  // The size the text needs when wrapped to the constraints' width, at most the constraints.
  CGSize suggestFrameSize(const CGSize& constraints);
  // Draws the text wrapped into `rect` (top-left origin).
  void draw(CGContext& context, const CGRect& rect);

 private:
  CTFramesetter(PangoLayout* layout, CTAttributes attributes);

  PangoLayout* layout_;
  CTAttributes attributes_;
};

}  // namespace platform
