#include "Platform/QuartzCore/SteadyDisplayTickSource.hpp"

#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>
#include <algorithm>
#include <cstdint>
#include <mutex>
#include <utility>

#include "Platform/CoreMedia/HostClock.hpp"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

std::chrono::nanoseconds atLeastOneNanosecond(std::chrono::nanoseconds period) {
  return std::max(period, std::chrono::nanoseconds(1));
}

// The timer and the frame grid live on the strand; the tick callback is
// guarded by the mutex so cancel() works from any thread.
class Schedule : public std::enable_shared_from_this<Schedule> {
 public:
  Schedule(const Executor& strand, std::chrono::nanoseconds period, DisplayTickSource::Tick tick)
      : timer_(strand), period_(period), tick_(std::move(tick)) {}

  void start() {
    asio::post(timer_.get_executor(), [self = shared_from_this()] {
      if (self->cancelled_) return;
      self->lastDeadline_ = Clock::now();
      self->lastHostTime_ = HostClock::now();
      self->arm();
    });
  }

  void setPeriod(std::chrono::nanoseconds period) {
    asio::post(timer_.get_executor(), [self = shared_from_this(), period] {
      self->period_ = period;
      if (!self->cancelled_) self->arm();
    });
  }

  void cancel() {
    {
      std::lock_guard lock(mutex_);
      tick_ = nullptr;
    }
    asio::post(timer_.get_executor(), [self = shared_from_this()] {
      self->cancelled_ = true;
      ++self->generation_;
      self->timer_.cancel();
    });
  }

 private:
  // Waits for the frame one period after the last; a re-arm makes any wait
  // still pending stale.
  void arm() {
    const std::uint64_t generation = ++generation_;
    timer_.expires_at(lastDeadline_ + period_);
    timer_.async_wait([self = shared_from_this(), generation](const std::error_code& error) {
      if (error || generation != self->generation_) return;
      self->fire();
    });
  }

  void fire() {
    const auto late = Clock::now() - (lastDeadline_ + period_);
    const auto frames = 1 + std::max<std::int64_t>(0, late / period_);
    lastDeadline_ += frames * period_;
    lastHostTime_ += std::uint64_t(frames * period_.count());
    DisplayTickSource::Tick tick;
    {
      std::lock_guard lock(mutex_);
      tick = tick_;
    }
    if (!tick) return;
    tick(lastHostTime_);
    arm();
  }

  asio::steady_timer timer_;
  std::chrono::nanoseconds period_;
  Clock::time_point lastDeadline_;
  std::uint64_t lastHostTime_ = 0;
  std::uint64_t generation_ = 0;
  bool cancelled_ = false;
  std::mutex mutex_;
  DisplayTickSource::Tick tick_;
};

class SteadySubscription final : public DisplayTickSource::Subscription {
 public:
  explicit SteadySubscription(std::shared_ptr<Schedule> schedule) : schedule_(std::move(schedule)) {}
  ~SteadySubscription() override { schedule_->cancel(); }

  void setPeriod(std::chrono::nanoseconds period) override { schedule_->setPeriod(atLeastOneNanosecond(period)); }
  void cancel() override { schedule_->cancel(); }

 private:
  std::shared_ptr<Schedule> schedule_;
};

}  // namespace

SteadyDisplayTickSource::SteadyDisplayTickSource(Executor executor) : strand_(asio::make_strand(std::move(executor))) {}

std::unique_ptr<DisplayTickSource::Subscription> SteadyDisplayTickSource::subscribe(std::chrono::nanoseconds period,
                                                                                     Tick tick) {
  auto schedule = std::make_shared<Schedule>(strand_, atLeastOneNanosecond(period), std::move(tick));
  schedule->start();
  return std::make_unique<SteadySubscription>(std::move(schedule));
}

}  // namespace platform
