#include "Fluvio/Sources/Screen/TextScreenObject.hpp"

#include <cmath>

namespace fluvio {

using namespace platform;

void TextScreenObject::setString(std::string string) {
  if (string != string_) invalidateLayout();
  string_ = std::move(string);
}

void TextScreenObject::setAttributes(CTAttributes attributes) {
  attributes_ = std::move(attributes);
  invalidateLayout();
}

void TextScreenObject::setBounds(const CGRect& bounds) {
  const bool changed = bounds != this->bounds();
  ScreenObject::setBounds(bounds);
  if (!changed) return;
  context_ = CGContext::makeBitmap(static_cast<std::int64_t>(bounds.size.width),
                                   static_cast<std::int64_t>(bounds.size.height), CGContext::Kind::rgba);
}

CGRect TextScreenObject::makeBounds(const CGSize& size) {
  if (string_.empty()) {
    framesetter_.reset();
    return {};
  }
  const CGRect box = ScreenObject::makeBounds(size);
  framesetter_ = CTFramesetter::make(string_, attributes_);
  const CGSize suggested = framesetter_->suggestFrameSize(box.size);
  return ScreenObject::makeBounds({std::ceil(suggested.width), std::ceil(suggested.height)});
}

ScreenObjectImage<CGImage> TextScreenObject::makeCGImage(ScreenRenderer&) {
  if (!context_ || !framesetter_) return ScreenObjectImage<CGImage>::empty();
  context_->clear();
  framesetter_->draw(*context_, {{0, 0}, bounds().size});
  return ScreenObjectImage<CGImage>::of(context_->makeImage());
}

ScreenObjectImage<CIImage> TextScreenObject::makeCIImage(ScreenRenderer& renderer) {
  const auto bitmap = makeCGImage(renderer);
  return ScreenObjectImage<CIImage>::of(CIImage::cgImage(bitmap.image));
}

}  // namespace fluvio
