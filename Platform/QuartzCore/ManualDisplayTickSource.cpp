#include "Platform/QuartzCore/ManualDisplayTickSource.hpp"

#include <algorithm>
#include <limits>
#include <utility>

namespace platform {

class ManualDisplayTickSource::ManualSubscription final : public Subscription {
 public:
  ManualSubscription(std::weak_ptr<State> state, std::shared_ptr<Subscriber> subscriber)
      : state_(std::move(state)), subscriber_(std::move(subscriber)) {}
  ~ManualSubscription() override { cancel(); }

  void setPeriod(std::chrono::nanoseconds period) override {
    if (const auto state = state_.lock()) {
      std::lock_guard lock(state->mutex);
      subscriber_->period = std::max(period, std::chrono::nanoseconds(1));
    }
  }

  void cancel() override {
    if (const auto state = state_.lock()) {
      std::lock_guard lock(state->mutex);
      state->subscribers.remove(subscriber_);
    }
  }

 private:
  std::weak_ptr<State> state_;
  std::shared_ptr<Subscriber> subscriber_;
};

ManualDisplayTickSource::ManualDisplayTickSource(std::uint64_t startHostTime)
    : state_(std::make_shared<State>()) {
  state_->now = startHostTime;
}

std::unique_ptr<DisplayTickSource::Subscription> ManualDisplayTickSource::subscribe(std::chrono::nanoseconds period,
                                                                                     Tick tick) {
  std::lock_guard lock(state_->mutex);
  auto subscriber =
      std::make_shared<Subscriber>(Subscriber{std::max(period, std::chrono::nanoseconds(1)), state_->now, std::move(tick)});
  state_->subscribers.push_back(subscriber);
  return std::make_unique<ManualSubscription>(state_, std::move(subscriber));
}

std::uint64_t ManualDisplayTickSource::now() const {
  std::lock_guard lock(state_->mutex);
  return state_->now;
}

std::size_t ManualDisplayTickSource::subscriberCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->subscribers.size();
}

void ManualDisplayTickSource::advance(std::chrono::nanoseconds duration) {
  const std::uint64_t until = now() + std::uint64_t(std::max(duration, std::chrono::nanoseconds(0)).count());
  while (deliverNextTick(until)) {
  }
  std::lock_guard lock(state_->mutex);
  state_->now = std::max(state_->now, until);
}

void ManualDisplayTickSource::tick() { deliverNextTick(std::numeric_limits<std::uint64_t>::max()); }

bool ManualDisplayTickSource::deliverNextTick(std::uint64_t until) {
  std::shared_ptr<Subscriber> next;
  Tick tick;
  std::uint64_t hostTime = 0;
  {
    std::lock_guard lock(state_->mutex);
    for (const auto& subscriber : state_->subscribers) {
      if (!next || subscriber->nextHostTime() < next->nextHostTime()) next = subscriber;
    }
    if (!next || next->nextHostTime() > until) return false;
    hostTime = next->nextHostTime();
    next->lastHostTime = hostTime;
    state_->now = hostTime;
    tick = next->tick;
  }
  // Outside the lock: a tick may subscribe, retime or cancel.
  tick(hostTime);
  return true;
}

}  // namespace platform
