#include "Fluvio/Sources/Screen/ScreenRendererByGPU.hpp"

#include "Fluvio/Sources/Screen/ChromaKeyProcessable.hpp"

namespace fluvio {

using namespace platform;

ScreenRendererByGPU::ScreenRendererByGPU(DynamicRangeMode mode)
    : mode_(mode), context_(makeCIContext(mode)), colorSpace_(colorSpace(mode)) {}

void ScreenRendererByGPU::setBackgroundColor(const CGColor& color) {
  if (color == backgroundColor()) return;
  ScreenRenderer::setBackgroundColor(color);
  backgroundCIColor_ = CIColor::fromCGColor(color);
}

void ScreenRendererByGPU::layout(ScreenObject& object) {
  const auto made = object.makeCIImage(*this);
  if (made.state == ScreenObjectImage<CIImage>::State::unchanged) return;
  if (made.state == ScreenObjectImage<CIImage>::State::empty) {
    images_.erase(object.identifier());
    return;
  }
  CIImage::Pointer image = made.image;
  if (object.cornerRadius() > 0) {
    // The mask covers the object's place, whatever part of it the picture fills.
    if (auto mask = roundedRectangleFactory_.cornerRadius(object.bounds().size, object.cornerRadius())) {
      image = image->blendedWithAlphaMask(mask);
    }
  } else if (const auto* keyed = dynamic_cast<const ChromaKeyProcessable*>(&object);
             keyed && keyed->chromaKeyColor()) {
    if (!chromaKeyProcessor_) chromaKeyProcessor_.emplace();
    image = image->keyedByColorTable(chromaKeyProcessor_->table(*keyed->chromaKeyColor()));
  }
  images_[object.identifier()] = {object.weak_from_this(), std::move(image)};
}

void ScreenRendererByGPU::draw(ScreenObject& object) {
  const auto found = images_.find(object.identifier());
  if (found == images_.end() || !found->second.image) return;
  const CIImage::Pointer& image = found->second.image;
  const CGRect& placed = object.bounds();
  // Top-left screen coordinates to the recipe's bottom-left ones, for every object.
  const CGFloat top = bounds().size.height - placed.origin.y;
  CIImage::Pointer moved;
  if (image->isInfinite()) {
    moved = image->cropped({{placed.origin.x, top - placed.size.height}, placed.size});
  } else {
    const CGRect& extent = image->extent();
    moved = image->transformed({1, 0, 0, 1, placed.origin.x - extent.origin.x,
                                top - extent.size.height - extent.origin.y});
  }
  canvas_ = moved->compositedOver(canvas_);
}

void ScreenRendererByGPU::setTarget(std::shared_ptr<CVPixelBuffer> pixelBuffer) {
  if (!pixelBuffer) return;
  pixelBuffer_ = std::move(pixelBuffer);
  canvas_ = CIImage::color(backgroundCIColor_)->cropped(bounds());
}

void ScreenRendererByGPU::render() {
  if (!pixelBuffer_) return;
  context_->render(*canvas_, *pixelBuffer_, bounds());
  if (mode_ == DynamicRangeMode::hdr) {
    pixelBuffer_->setAttachment(kCVImageBufferColorPrimariesKey, kCVImageBufferColorPrimaries_ITU_R_2020,
                                CVAttachmentMode::shouldPropagate);
    pixelBuffer_->setAttachment(kCVImageBufferTransferFunctionKey, kCVImageBufferTransferFunction_ITU_R_2100_HLG,
                                CVAttachmentMode::shouldPropagate);
    pixelBuffer_->setAttachment(kCVImageBufferYCbCrMatrixKey, kCVImageBufferYCbCrMatrix_ITU_R_2020,
                                CVAttachmentMode::shouldPropagate);
  }
  // Drop the recipe so the frame's sources are not held past it.
  canvas_ = CIImage::empty();
  std::erase_if(images_, [](const auto& entry) { return entry.second.owner.expired(); });
}

}  // namespace fluvio
