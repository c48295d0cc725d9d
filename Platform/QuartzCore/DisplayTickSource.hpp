#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

// The refresh signal of a display: display links subscribe to it with the
// frame period they want and receive the host time of every frame. Where the
// ticks arrive (the main queue, or the thread that drives a manual source) is
// the source's run loop.
class DisplayTickSource {
 public:
  using Tick = std::function<void(std::uint64_t hostTime)>;

  // One subscriber's schedule. Cancelling (or destroying) it stops its ticks;
  // a tick already being delivered on another thread may still complete.
  class Subscription {
   public:
    virtual ~Subscription() = default;
    // The next tick comes one new period after the last one.
    virtual void setPeriod(std::chrono::nanoseconds period) = 0;
    virtual void cancel() = 0;
  };

  virtual ~DisplayTickSource() = default;

  // Ticks every `period` (at least 1 ns), the first one period from now.
  virtual std::unique_ptr<Subscription> subscribe(std::chrono::nanoseconds period, Tick tick) = 0;

  // The main display: a steady timer ticking on the main queue.
  static std::shared_ptr<DisplayTickSource> main();
};

}  // namespace platform
