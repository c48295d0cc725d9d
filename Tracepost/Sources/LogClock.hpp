#pragma once

#include <atomic>
#include <chrono>

namespace tracepost {

// The source of "now" for the appenders' dates. Tests install a fixed clock;
// everything else reads the system clock.
class LogClock {
 public:
  using Date = std::chrono::system_clock::time_point;
  using Source = Date (*)();

  static Date now() { return source_.load(std::memory_order_acquire)(); }
  // nullptr puts the system clock back.
  static void setSource(Source source) noexcept {
    source_.store(source ? source : &systemNow, std::memory_order_release);
  }

 private:
  static Date systemNow() { return std::chrono::system_clock::now(); }
  static inline std::atomic<Source> source_{&systemNow};
};

}  // namespace tracepost
