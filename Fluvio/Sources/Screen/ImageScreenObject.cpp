#include "Fluvio/Sources/Screen/ImageScreenObject.hpp"

namespace fluvio {

using namespace platform;

void ImageScreenObject::setCGImage(std::shared_ptr<const CGImage> image) {
  if (image != cgImage_) invalidateLayout();
  cgImage_ = std::move(image);
}

ScreenObjectImage<CGImage> ImageScreenObject::makeCGImage(ScreenRenderer&) {
  return ScreenObjectImage<CGImage>::of(cgImage_);
}

ScreenObjectImage<CIImage> ImageScreenObject::makeCIImage(ScreenRenderer&) {
  return ScreenObjectImage<CIImage>::of(CIImage::cgImage(cgImage_));
}

CGRect ImageScreenObject::makeBounds(const CGSize& size) {
  if (!cgImage_ || size != CGSize{0, 0}) return ScreenObject::makeBounds(size);
  return ScreenObject::makeBounds(
      {static_cast<CGFloat>(cgImage_->width()), static_cast<CGFloat>(cgImage_->height())});
}

}  // namespace fluvio
