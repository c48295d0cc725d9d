#include "Fluvio/Sources/Screen/Screen.hpp"

#include <algorithm>
#include <cmath>

#include "Fluvio/Sources/Screen/ScreenRendererByCPU.hpp"
#include "Fluvio/Sources/Screen/ScreenRendererByGPU.hpp"
#include "Fluvio/Sources/Util/FluvioLogger.hpp"

namespace fluvio {

using namespace platform;

Screen::Screen()
    : renderer_(std::make_unique<ScreenRendererByCPU>(DynamicRangeMode::sdr)),
      videoTrackScreenObject_(VideoTrackScreenObject::make()),
      root_(ScreenObjectContainer::make()) {
  root_->addChild(videoTrackScreenObject_);
  makePool();
}

bool Screen::setSize(const CGSize& size) {
  if (!makePixelBufferAttributes(dynamicRangeMode_, size)) {
    TP_WARN(logger(), "refused a screen size that is not finite or not within 1...16384");
    return false;
  }
  if (size == size_) return true;
  size_ = size;
  renderer_->setBounds({{0, 0}, size});
  makePool();
  return true;
}

void Screen::setGPURendererEnabled(bool enabled) {
  if (enabled == isGPURendererEnabled_) return;
  isGPURendererEnabled_ = enabled;
  installRenderer(makeRenderer());
}

void Screen::setBackgroundColor(const CGColor& color) {
  if (color == backgroundColor_) return;
  backgroundColor_ = color;
  renderer_->setBackgroundColor(color);
}

void Screen::setDynamicRangeMode(DynamicRangeMode mode) {
  if (mode == dynamicRangeMode_) return;
  dynamicRangeMode_ = mode;
  installRenderer(makeRenderer());
  makePool();
}

std::unique_ptr<ScreenRenderer> Screen::makeRenderer() const {
  if (isGPURendererEnabled_) return std::make_unique<ScreenRendererByGPU>(dynamicRangeMode_);
  return std::make_unique<ScreenRendererByCPU>(dynamicRangeMode_);
}

void Screen::installRenderer(std::unique_ptr<ScreenRenderer> renderer) {
  renderer->setBounds(renderer_->bounds());
  renderer->setBackgroundColor(renderer_->backgroundColor());
  renderer->setSynchronizationClock(renderer_->synchronizationClock());
  renderer_ = std::move(renderer);
  // The new renderer has no prepared pictures: lay every object out again.
  root_->invalidateLayout();
}

void Screen::makePool() {
  outputFormat_.reset();
  pixelBufferPool_.reset();
  const auto attributes = makePixelBufferAttributes(dynamicRangeMode_, size_);
  if (!attributes) return;
  auto pool = CVPixelBufferPool::make(*attributes);
  if (pool) pixelBufferPool_ = std::move(pool.value);
}

void Screen::addChild(const std::shared_ptr<ScreenObject>& child) { root_->addChild(child); }

void Screen::removeChild(const std::shared_ptr<ScreenObject>& child) { root_->removeChild(child); }

bool Screen::registerVideoEffect(const std::shared_ptr<VideoEffect>& effect) {
  return videoTrackScreenObject_->registerVideoEffect(effect);
}

bool Screen::unregisterVideoEffect(const std::shared_ptr<VideoEffect>& effect) {
  return videoTrackScreenObject_->unregisterVideoEffect(effect);
}

std::optional<CMSampleBuffer> Screen::makeSampleBuffer(const DisplayLinkTime& tick) {
  std::optional<CMSampleBuffer> result;
  [&] {
    if (!pixelBufferPool_) return;
    auto buffer = pixelBufferPool_->createPixelBuffer();
    if (!buffer) return;
    if (!outputFormat_) {
      auto format = CMFormatDescription::makeForImageBuffer(*buffer.value);
      if (!format) return;
      outputFormat_ = std::move(format.value);
    }
    const auto attachments = buffer.value->attachments(CVAttachmentMode::shouldNotPropagate);
    if (!attachments.empty()) buffer.value->setAttachments(attachments, CVAttachmentMode::shouldPropagate);
    // A tick older than the last frame's makes none. A capture latency that
    // grew since then would put this frame before the last one: it takes the
    // last frame's time instead of being lost.
    if (tick.timestamp < frameTimestamp_) return;
    const CMTime tickTime = CMTime::makeWithSeconds(tick.timestamp - videoCaptureLatency_, 1000000000);
    if (!tickTime.isValid()) return;
    const CMTime presentationTime = std::max(tickTime, presentationTimeStamp_);
    frameTimestamp_ = tick.timestamp;
    presentationTimeStamp_ = presentationTime;
    const CMSampleTimingInfo timing{CMTime::makeWithSeconds(tick.targetTimestamp - tick.timestamp, 1000000000),
                                    presentationTime, CMTime::invalid};
    if (CMSampleBuffer::makeReadyWithImageBuffer(buffer.value, outputFormat_, timing, result) != noErr) return;
    render(*result);
  }();
  targetTimestamp_ = tick.targetTimestamp;
  return result;
}

void Screen::render(const CMSampleBuffer& sampleBuffer) {
  const auto& buffer = sampleBuffer.imageBuffer();
  if (buffer->lockBaseAddress(0) != kCVReturnSuccess) return;
  renderer_->setPresentationTimeStamp(sampleBuffer.presentationTimeStamp());
  renderer_->setTarget(buffer);
  if (const auto& format = sampleBuffer.formatDescription()) {
    const CGSize size{static_cast<CGFloat>(format->dimensions().width),
                      static_cast<CGFloat>(format->dimensions().height)};
    if (size != root_->size()) {
      root_->setSize(size);
      root_->invalidateLayout();
    }
  }
  if (auto delegate = delegate_.lock()) delegate->screen(*this, sampleBuffer.presentationTimeStamp());
  root_->layout(*renderer_);
  root_->draw(*renderer_);
  renderer_->render();
  buffer->unlockBaseAddress(0);
}

void Screen::setVideoCaptureLatency(const CMTime& presentationTimeStamp) {
  if (!(targetTimestamp_ > 0)) return;
  CMTime time = presentationTimeStamp;
  if (const auto& clock = renderer_->synchronizationClock()) time = clock->convertTime(time, *CMClock::hostTimeClock());
  videoCaptureLatency_ = std::ceil((targetTimestamp_ - time.seconds()) * 10000) / 10000;
}

}  // namespace fluvio
