#include "Platform/CoreMedia/HostClock.hpp"

#include <cmath>
#include <ctime>
#include <limits>

namespace platform {

std::uint64_t HostClock::now() noexcept {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return std::uint64_t(now.tv_sec) * ticksPerSecond + std::uint64_t(now.tv_nsec);
}

double HostClock::seconds(std::uint64_t hostTime) noexcept {
  return static_cast<double>(hostTime) / ticksPerSecond;
}

std::uint64_t HostClock::hostTime(double seconds) noexcept {
  if (!(seconds > 0)) return 0;
  const double ticks = std::round(seconds * ticksPerSecond);
  // 2^64 is the first double past the range.
  if (ticks >= 18446744073709551616.0) return std::numeric_limits<std::uint64_t>::max();
  return static_cast<std::uint64_t>(ticks);
}

CMTime HostClock::time(std::uint64_t hostTime) noexcept {
  if (hostTime > std::uint64_t(std::numeric_limits<std::int64_t>::max())) return CMTime::invalid;
  return CMTime::make(static_cast<std::int64_t>(hostTime), ticksPerSecond);
}

}  // namespace platform
