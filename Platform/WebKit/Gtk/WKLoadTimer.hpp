#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace platform {

// Times one page load at a time: started when a load starts, cancelled when it
// finishes or fails. Starting again replaces the running time-out.
class WKLoadTimer {
 public:
  virtual ~WKLoadTimer() = default;
  virtual void start(std::chrono::milliseconds timeout, std::function<void()> expired) = 0;
  virtual void cancel() = 0;
};

// A timer on the main loop's clock.
std::shared_ptr<WKLoadTimer> makeMainLoopLoadTimer();

}  // namespace platform
