#include "Platform/QuartzCore/CADisplayLink.hpp"

#include <algorithm>
#include <utility>

#include "Platform/CoreMedia/HostClock.hpp"

namespace platform {

std::shared_ptr<CADisplayLink> CADisplayLink::make(Callback callback, std::shared_ptr<DisplayTickSource> tickSource) {
  return std::shared_ptr<CADisplayLink>(new CADisplayLink(std::move(callback), std::move(tickSource)));
}

CADisplayLink::CADisplayLink(Callback callback, std::shared_ptr<DisplayTickSource> tickSource)
    : callback_(std::make_shared<const Callback>(std::move(callback))), tickSource_(std::move(tickSource)) {}

CADisplayLink::~CADisplayLink() { invalidate(); }

int CADisplayLink::preferredFramesPerSecond() const {
  std::lock_guard lock(mutex_);
  return preferredFramesPerSecond_;
}

void CADisplayLink::setPreferredFramesPerSecond(int framesPerSecond) {
  std::lock_guard lock(mutex_);
  preferredFramesPerSecond_ = framesPerSecond;
  if (subscription_) subscription_->setPeriod(period());
}

bool CADisplayLink::isPaused() const {
  std::lock_guard lock(mutex_);
  return isPaused_;
}

void CADisplayLink::setPaused(bool paused) {
  std::lock_guard lock(mutex_);
  isPaused_ = paused;
}

double CADisplayLink::timestamp() const {
  std::lock_guard lock(mutex_);
  return HostClock::seconds(timestamp_);
}

double CADisplayLink::targetTimestamp() const {
  std::lock_guard lock(mutex_);
  return HostClock::seconds(targetTimestamp_);
}

double CADisplayLink::duration() const {
  std::lock_guard lock(mutex_);
  return std::chrono::duration<double>(period()).count();
}

bool CADisplayLink::isValid() const {
  std::lock_guard lock(mutex_);
  return isValid_;
}

void CADisplayLink::addToRunLoop() {
  std::lock_guard lock(mutex_);
  if (!isValid_ || subscription_ || !tickSource_) return;
  std::weak_ptr<CADisplayLink> weak = weak_from_this();
  subscription_ = tickSource_->subscribe(period(), [weak](std::uint64_t hostTime) {
    if (const auto link = weak.lock()) link->frame(hostTime);
  });
}

void CADisplayLink::invalidate() {
  std::unique_ptr<DisplayTickSource::Subscription> subscription;
  std::shared_ptr<const Callback> callback;
  {
    std::lock_guard lock(mutex_);
    isValid_ = false;
    subscription = std::move(subscription_);
    callback = std::move(callback_);
  }
  // Outside the lock: the callback's captures may own objects that
  // invalidate this link again from their destructors.
  if (subscription) subscription->cancel();
}

std::chrono::nanoseconds CADisplayLink::period() const {
  const int framesPerSecond = preferredFramesPerSecond_ > 0
                                  ? std::min(preferredFramesPerSecond_, maximumFramesPerSecond)
                                  : defaultFramesPerSecond;
  return std::chrono::nanoseconds((1'000'000'000 + framesPerSecond / 2) / framesPerSecond);
}

void CADisplayLink::frame(std::uint64_t hostTime) {
  std::shared_ptr<const Callback> callback;
  {
    std::lock_guard lock(mutex_);
    if (!isValid_ || isPaused_ || !callback_ || !*callback_) return;
    timestamp_ = hostTime;
    targetTimestamp_ = hostTime + std::uint64_t(period().count());
    callback = callback_;
  }
  (*callback)(*this);
}

}  // namespace platform
