#include "Fluvio/Sources/View/MTFVView.hpp"

#include "Fluvio/Sources/View/PreviewGeometry.hpp"

namespace fluvio {

using namespace platform;

std::shared_ptr<MTFVView> MTFVView::make(Executor mainExecutor) {
  return Actor::make<MTFVView>(std::move(mainExecutor));
}

MTFVView::MTFVView(Key key, Executor mainExecutor)
    : PreviewOutput(key, std::move(mainExecutor)), context_(CIContext::make()) {}

void MTFVView::show(const CMSampleBuffer& sampleBuffer) {
  displayImage_.reset();
  // The image reads the frame when drawn; the lock proves the buffer can be read.
  if (const auto& buffer = sampleBuffer.imageBuffer();
      buffer && buffer->lockBaseAddress(kCVPixelBufferLock_ReadOnly) == kCVReturnSuccess) {
    auto image = CIImage::pixelBuffer(buffer);
    if (buffer->unlockBaseAddress(kCVPixelBufferLock_ReadOnly) == kCVReturnSuccess) displayImage_ = std::move(image);
  }
  setNeedsDisplay();
}

void MTFVView::draw(CVPixelBuffer& drawable) {
  if (drawable.pixelFormatType() != kCVPixelFormatType_32ARGB || drawable.lockBaseAddress(0) != kCVReturnSuccess) {
    return;
  }
  const CGSize size{static_cast<CGFloat>(drawable.width()), static_cast<CGFloat>(drawable.height())};
  CIImage::Pointer picture = CIImage::color({0, 0, 0, 1});  // the cleared drawable
  if (displayImage_) {
    const PreviewFit fit = previewFit(videoGravity_, size, displayImage_->extent().size);
    if (auto image = effects_.apply(displayImage_)) {
      picture = image->transformed({1, 0, 0, 1, fit.offset.x, fit.offset.y})
                    ->transformed(CGAffineTransform::makeScale(fit.scaleX, fit.scaleY))
                    ->compositedOver(picture);
    }
  }
  context_->render(*picture, drawable, {{0, 0}, size});
  drawable.unlockBaseAddress(0);
}

}  // namespace fluvio
