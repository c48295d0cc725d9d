#include "Fluvio/Sources/Mixer/RestartBackOff.hpp"

#include <algorithm>

namespace fluvio {

std::optional<RestartBackOff::Clock::duration> RestartBackOff::restart(Clock::time_point now) {
  if (isRetryWaiting_) return std::nullopt;
  if (lastRestart_ && now - *lastRestart_ < delay_) {
    const auto wait = delay_ - (now - *lastRestart_);
    delay_ = std::min<Clock::duration>(delay_ * 2, longestDelay);
    isRetryWaiting_ = true;
    return wait;
  }
  if (lastRestart_ && now - *lastRestart_ > longestDelay) delay_ = firstDelay;
  lastRestart_ = now;
  return Clock::duration::zero();
}

void RestartBackOff::retryDue() {
  isRetryWaiting_ = false;
  lastRestart_.reset();
}

void RestartBackOff::forgetFailures() {
  lastRestart_.reset();
  delay_ = firstDelay;
}

}  // namespace fluvio
