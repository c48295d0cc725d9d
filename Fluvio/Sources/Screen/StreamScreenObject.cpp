#include "Fluvio/Sources/Screen/StreamScreenObject.hpp"

#include <asio/post.hpp>

#include "Fluvio/Sources/Screen/ScreenActor.hpp"
#include "Fluvio/Sources/Screen/VideoScreenObjectImage.hpp"

namespace fluvio {

using namespace platform;

void StreamScreenObject::setVideoGravity(AVLayerVideoGravity gravity) {
  if (gravity != videoGravity_) invalidateLayout();
  videoGravity_ = gravity;
}

void StreamScreenObject::stream(StreamConvertible&, const CMSampleBuffer& sampleBuffer) {
  asio::post(ScreenActor::shared().executor(),
             [weak = weak_from_this(), sampleBuffer] {
               if (auto self = std::static_pointer_cast<StreamScreenObject>(weak.lock())) self->setSampleBuffer(sampleBuffer);
             });
}

void StreamScreenObject::setSampleBuffer(std::optional<CMSampleBuffer> sampleBuffer) {
  const bool changed = sampleBuffer.has_value() != sampleBuffer_.has_value() ||
                       (sampleBuffer && (sampleBuffer->imageBuffer() != sampleBuffer_->imageBuffer() ||
                                         sampleBuffer->presentationTimeStamp() != sampleBuffer_->presentationTimeStamp()));
  sampleBuffer_ = std::move(sampleBuffer);
  if (changed) invalidateLayout();
}

bool StreamScreenObject::isTranslucent() const { return cornerRadius() > 0 || chromaKeyColor().has_value(); }

ScreenObjectImage<CIImage> StreamScreenObject::makeCIImage(ScreenRenderer&) {
  return videoscreenobject::makeCIImage(sampleBuffer_, videoGravity_, bounds());
}

ScreenObjectImage<CGImage> StreamScreenObject::makeCGImage(ScreenRenderer& renderer) {
  return videoscreenobject::makeCGImage(makeCIImage(renderer), renderer, bitmap_);
}

CGRect StreamScreenObject::makeBounds(const CGSize& size) {
  return videoscreenobject::makeBounds(*this, size, sampleBuffer_ ? &*sampleBuffer_ : nullptr, videoGravity_,
                                       [this](const CGSize& box) { return ScreenObject::makeBounds(box); });
}

}  // namespace fluvio
