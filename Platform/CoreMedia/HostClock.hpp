#pragma once

#include <cstdint>

#include "Platform/CoreMedia/CMTime.hpp"

namespace platform {

// The machine's host time: CLOCK_MONOTONIC in nanoseconds, so one host tick is
// exactly one nanosecond and conversions need no ratio.
class HostClock {
 public:
  static constexpr std::int32_t ticksPerSecond = 1'000'000'000;

  static std::uint64_t now() noexcept;
  // Nanosecond-exact up to 2^53 ns (104 days of uptime); use time() where
  // exactness matters beyond that.
  static double seconds(std::uint64_t hostTime) noexcept;
  // Negative or not-a-number seconds give 0; seconds beyond the range clamp.
  static std::uint64_t hostTime(double seconds) noexcept;
  // Exact: the host time as a media time with timescale 1,000,000,000.
  static CMTime time(std::uint64_t hostTime) noexcept;
};

}  // namespace platform
