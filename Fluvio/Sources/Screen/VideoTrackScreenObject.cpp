#include "Fluvio/Sources/Screen/VideoTrackScreenObject.hpp"

#include "Fluvio/Sources/Screen/ScreenRenderer.hpp"
#include "Fluvio/Sources/Screen/VideoScreenObjectImage.hpp"
#include "Fluvio/Sources/Util/FluvioLogger.hpp"

namespace fluvio {

using namespace platform;

std::shared_ptr<VideoTrackScreenObject> VideoTrackScreenObject::make() {
  return std::make_shared<VideoTrackScreenObject>();
}

// A frame let go of drops its picture at once rather than when next reused.
VideoTrackScreenObject::VideoTrackScreenObject()
    : queuedFrames_(
          [](CMSampleBuffer& frame) noexcept { [[maybe_unused]] const CMSampleBuffer dropped = std::move(frame); }) {
  setHorizontalAlignment(HorizontalAlignment::center);
  try {
    queue_.emplace(queueCapacity, CMBufferQueue::Handlers::outputPTSSortedSampleBuffers());
  } catch (const std::exception& error) {
    TP_ERROR(logger(), error.what());
  }
}

void VideoTrackScreenObject::setTrack(std::uint8_t track) {
  if (track != track_) invalidateLayout();
  track_ = track;
}

void VideoTrackScreenObject::setVideoGravity(AVLayerVideoGravity gravity) {
  if (gravity != videoGravity_) invalidateLayout();
  videoGravity_ = gravity;
}

void VideoTrackScreenObject::enqueue(const CMSampleBuffer& sampleBuffer) {
  if (!queue_) return;
  auto frame = queuedFrames_.take([&] { return std::make_unique<CMSampleBuffer>(sampleBuffer); });
  if (!frame) return;
  *frame = sampleBuffer;
  try {
    queue_->enqueue(std::move(frame));
  } catch (const OSStatusError&) {
    return;
  }
  invalidateLayout();
}

void VideoTrackScreenObject::reset() {
  if (queue_) queue_->reset();
  frameTracker_ = {};
  isShowing_ = false;
  invalidateLayout();
}

bool VideoTrackScreenObject::isTranslucent() const { return cornerRadius() > 0 || chromaKeyColor().has_value(); }

ScreenObjectImage<CIImage> VideoTrackScreenObject::makeCIImage(ScreenRenderer& renderer) {
  CMTime time = renderer.presentationTimeStamp();
  if (const auto& clock = renderer.synchronizationClock()) time = clock->convertTime(time, *CMClock::hostTimeClock());
  const auto due = queue_ ? queue_->dequeue(time) : nullptr;
  // Until a frame is due the last one stays on show; after a reset there is none.
  if (!due || !due->imageBuffer()) {
    return isShowing_ ? ScreenObjectImage<CIImage>::unchanged() : ScreenObjectImage<CIImage>::empty();
  }
  isShowing_ = true;
  frameTracker_.update(due->presentationTimeStamp());
  return ScreenObjectImage<CIImage>::of(
      effects_.apply(videoscreenobject::makeImage(CIImage::pixelBuffer(due->imageBuffer()), videoGravity_, bounds())));
}

ScreenObjectImage<CGImage> VideoTrackScreenObject::makeCGImage(ScreenRenderer& renderer) {
  return videoscreenobject::makeCGImage(makeCIImage(renderer), renderer, bitmap_);
}

CGRect VideoTrackScreenObject::makeBounds(const CGSize& size) {
  const auto head = queue_ ? queue_->head() : nullptr;
  return videoscreenobject::makeBounds(*this, size, head.get(), videoGravity_,
                                       [this](const CGSize& box) { return ScreenObject::makeBounds(box); });
}

void VideoTrackScreenObject::draw(ScreenRenderer& renderer) {
  renderer.draw(*this);
  if (queue_ && !queue_->isEmpty()) invalidateLayout();
}

}  // namespace fluvio
