#pragma once

#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>

#include "Platform/QuartzCore/DisplayTickSource.hpp"

namespace platform {

// A display whose clock only moves when told to, for tests: advancing it
// delivers every tick that falls due, in time order, on the calling thread
// before the call returns.
class ManualDisplayTickSource final : public DisplayTickSource {
 public:
  explicit ManualDisplayTickSource(std::uint64_t startHostTime = 0);

  std::unique_ptr<Subscription> subscribe(std::chrono::nanoseconds period, Tick tick) override;

  std::uint64_t now() const;
  // Moves the clock forward by `duration`, ticking on the way.
  void advance(std::chrono::nanoseconds duration);
  // Moves the clock to the earliest next tick of any subscriber and delivers
  // it; does nothing without subscribers.
  void tick();
  std::size_t subscriberCount() const;

 private:
  struct Subscriber {
    std::chrono::nanoseconds period;
    std::uint64_t lastHostTime;
    Tick tick;

    std::uint64_t nextHostTime() const { return lastHostTime + std::uint64_t(period.count()); }
  };
  struct State {
    mutable std::mutex mutex;
    std::uint64_t now;
    std::list<std::shared_ptr<Subscriber>> subscribers;
  };
  class ManualSubscription;

  // Delivers the earliest tick due by `until`; false when there is none.
  bool deliverNextTick(std::uint64_t until);

  std::shared_ptr<State> state_;
};

}  // namespace platform
