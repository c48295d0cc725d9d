#include "Fluvio/Sources/Screen/AssetScreenObject.hpp"

#include "Fluvio/Sources/Screen/ScreenRenderer.hpp"
#include "Fluvio/Sources/Screen/VideoScreenObjectImage.hpp"

namespace fluvio {

using namespace platform;

AssetScreenObject::~AssetScreenObject() { setReader(nullptr); }

void AssetScreenObject::setVideoGravity(AVLayerVideoGravity gravity) {
  if (gravity != videoGravity_) invalidateLayout();
  videoGravity_ = gravity;
}

bool AssetScreenObject::isReading() const noexcept {
  return reader_ && reader_->status() == AVAssetReader::Status::reading;
}

void AssetScreenObject::setReader(std::shared_ptr<AVAssetReader> reader) {
  if (reader_ && reader_->status() == AVAssetReader::Status::reading) reader_->cancelReading();
  reader_ = std::move(reader);
}

void AssetScreenObject::setSampleBuffer(std::optional<CMSampleBuffer> sampleBuffer) {
  const bool changed = sampleBuffer.has_value() != sampleBuffer_.has_value() ||
                       (sampleBuffer && sampleBuffer->imageBuffer() != sampleBuffer_->imageBuffer());
  sampleBuffer_ = std::move(sampleBuffer);
  if (changed) invalidateLayout();
}

void AssetScreenObject::startReading(const AVAsset& asset) {
  setReader(AVAssetReader::make(asset));
  startedAt_ = CMClock::hostTimeClock()->time();
  reader_->startReading();
  setSampleBuffer(reader_->copyNextSampleBuffer());
}

void AssetScreenObject::cancelReading() {
  setReader(nullptr);
  setSampleBuffer(std::nullopt);
}

ScreenObjectImage<CIImage> AssetScreenObject::makeCIImage(ScreenRenderer&) {
  return videoscreenobject::makeCIImage(sampleBuffer_, videoGravity_, bounds());
}

ScreenObjectImage<CGImage> AssetScreenObject::makeCGImage(ScreenRenderer& renderer) {
  return videoscreenobject::makeCGImage(makeCIImage(renderer), renderer, bitmap_);
}

CGRect AssetScreenObject::makeBounds(const CGSize& size) {
  return videoscreenobject::makeBounds(*this, size, sampleBuffer_ ? &*sampleBuffer_ : nullptr, videoGravity_,
                                       [this](const CGSize& box) { return ScreenObject::makeBounds(box); });
}

void AssetScreenObject::draw(ScreenRenderer& renderer) {
  renderer.draw(*this);
  const CMTime elapsed = CMClock::hostTimeClock()->time() - startedAt_;
  if (sampleBuffer_ && reader_ && sampleBuffer_->presentationTimeStamp() <= elapsed) {
    setSampleBuffer(reader_->copyNextSampleBuffer());
  }
}

}  // namespace fluvio
