#include "Fluvio/Sources/View/PiPFVView.hpp"

#include <mutex>

namespace fluvio {

using namespace platform;

namespace {

std::mutex defaultColorMutex;
CGColor defaultColor = CGColor::black();

}  // namespace

CGColor PiPFVView::defaultBackgroundColor() {
  std::lock_guard lock(defaultColorMutex);
  return defaultColor;
}

void PiPFVView::setDefaultBackgroundColor(CGColor color) {
  std::lock_guard lock(defaultColorMutex);
  defaultColor = std::move(color);
}

std::shared_ptr<PiPFVView> PiPFVView::make(Executor mainExecutor) {
  auto view = Actor::make<PiPFVView>(std::move(mainExecutor));
  view->awakeFromNib();
  return view;
}

PiPFVView::PiPFVView(Key key, Executor mainExecutor) : PreviewOutput(key, std::move(mainExecutor)) {}

void PiPFVView::awakeFromNib() {
  enqueue([self = std::static_pointer_cast<PiPFVView>(shared_from_this())] {
    self->backgroundColor_ = defaultBackgroundColor();
    self->layer_.setBackgroundColor(self->backgroundColor_);
    self->layer_.setVideoGravity(self->videoGravity_);
  });
}

void PiPFVView::setVideoGravity(AVLayerVideoGravity gravity) {
  videoGravity_ = gravity;
  layer_.setVideoGravity(gravity);
  setNeedsDisplay();  // the layer shows its frame in the new fit at once
}

void PiPFVView::show(const CMSampleBuffer& sampleBuffer) {
  layer_.enqueueSampleBuffer(sampleBuffer);
  setNeedsDisplay();
}

}  // namespace fluvio
