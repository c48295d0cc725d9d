#include "Fluvio/Sources/Stream/DisplayLinkChoreographer.hpp"

#include <utility>

namespace fluvio {

std::shared_ptr<DisplayLinkChoreographer> DisplayLinkChoreographer::make(
    std::shared_ptr<platform::DisplayTickSource> tickSource) {
  return std::shared_ptr<DisplayLinkChoreographer>(new DisplayLinkChoreographer(std::move(tickSource)));
}

int DisplayLinkChoreographer::preferredFramesPerSecond() const {
  std::lock_guard lock(mutex_);
  return preferredFramesPerSecond_;
}

void DisplayLinkChoreographer::setPreferredFramesPerSecond(int framesPerSecond) {
  std::lock_guard lock(mutex_);
  preferredFramesPerSecond_ = framesPerSecond;
  if (displayLink_) displayLink_->setPreferredFramesPerSecond(framesPerSecond);
}

DisplayLinkChoreographer::UpdateFrames DisplayLinkChoreographer::updateFrames() {
  auto [stream, continuation] = UpdateFrames::makeStream(platform::BufferingPolicy::unbounded());
  std::optional<UpdateFrames::Continuation> previous;
  {
    std::lock_guard lock(mutex_);
    previous = std::exchange(continuation_, std::move(continuation));
  }
  if (previous) previous->finish();
  return stream;
}

bool DisplayLinkChoreographer::isRunning() const {
  std::lock_guard lock(mutex_);
  return isRunning_;
}

void DisplayLinkChoreographer::startRunning() {
  std::lock_guard lock(mutex_);
  if (isRunning_) return;
  std::weak_ptr<DisplayLinkChoreographer> weak = weak_from_this();
  auto displayLink = platform::CADisplayLink::make(
      [weak](platform::CADisplayLink& link) {
        if (const auto choreographer = weak.lock()) choreographer->update(link);
      },
      tickSource_);
  setDisplayLink(std::move(displayLink));
  isRunning_ = true;
}

void DisplayLinkChoreographer::stopRunning() {
  std::lock_guard lock(mutex_);
  if (!isRunning_) return;
  isRunning_ = false;
  setDisplayLink(nullptr);
  // The finished continuation stays: ticks after the stop go nowhere.
  if (continuation_) continuation_->finish();
}

void DisplayLinkChoreographer::setDisplayLink(std::shared_ptr<platform::CADisplayLink> displayLink) {
  if (displayLink_) displayLink_->invalidate();
  displayLink_ = std::move(displayLink);
  if (!displayLink_) return;
  displayLink_->setPreferredFramesPerSecond(preferredFramesPerSecond_);
  displayLink_->setPaused(false);
  displayLink_->addToRunLoop();
}

void DisplayLinkChoreographer::update(const platform::CADisplayLink& displayLink) {
  std::lock_guard lock(mutex_);
  if (displayLink_.get() != &displayLink || !continuation_) return;
  continuation_->yield(DisplayLinkTime{displayLink.timestamp(), displayLink.targetTimestamp()});
}

}  // namespace fluvio
