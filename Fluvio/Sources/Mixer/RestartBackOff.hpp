#pragma once

#include <chrono>
#include <optional>

namespace fluvio {

// When a session whose device keeps failing may start again: at once the
// first time; after a pause when it fails again soon after a restart, the
// pause doubling with each such failure up to a longest one. A quiet spell
// longer than that starts over. Times come from the caller, so the policy
// holds whatever the clock.
class RestartBackOff {
 public:
  using Clock = std::chrono::steady_clock;

  static constexpr std::chrono::milliseconds firstDelay{250};
  static constexpr std::chrono::seconds longestDelay{8};

  // A restart wanted at `now`: zero to restart now, a wait after which one
  // retry is due, or nothing while such a retry is already waiting.
  std::optional<Clock::duration> restart(Clock::time_point now);
  // The waiting retry has come: it restarts at once.
  void retryDue();
  // A fresh start: earlier failures no longer count.
  void forgetFailures();

 private:
  std::optional<Clock::time_point> lastRestart_;
  Clock::duration delay_ = firstDelay;
  bool isRetryWaiting_ = false;
};

}  // namespace fluvio
