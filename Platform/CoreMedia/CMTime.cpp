#include "Platform/CoreMedia/CMTime.hpp"

#include <cmath>
#include <limits>
#include <numeric>
#include <ostream>

namespace platform {
namespace {

__extension__ typedef __int128 Wide;

constexpr Wide int64Min = std::numeric_limits<std::int64_t>::min();
constexpr Wide int64Max = std::numeric_limits<std::int64_t>::max();

// numerator / denominator rounded half away from zero; denominator > 0.
Wide divideRounded(Wide numerator, Wide denominator, bool& rounded) {
  Wide quotient = numerator / denominator;
  const Wide remainder = numerator % denominator;
  if (remainder != 0) {
    rounded = true;
    const Wide twice = (remainder < 0 ? -remainder : remainder) * 2;
    if (twice >= denominator) quotient += numerator < 0 ? -1 : 1;
  }
  return quotient;
}

CMTime makeChecked(Wide value, std::int32_t timescale, bool rounded) {
  if (value < int64Min || value > int64Max) return CMTime::invalid;
  return CMTime{static_cast<std::int64_t>(value), timescale, CMTime::valid | (rounded ? CMTime::hasBeenRounded : 0u)};
}

// lhs + sign * rhs, exact in the least common timescale when that fits,
// else rounded to the finer of the two.
CMTime combine(const CMTime& lhs, const CMTime& rhs, int sign) {
  if (!lhs.isValid() || !rhs.isValid()) return CMTime::invalid;
  const std::int64_t common = std::lcm<std::int64_t>(lhs.timescale, rhs.timescale);
  bool rounded = ((lhs.flags | rhs.flags) & CMTime::hasBeenRounded) != 0;
  if (common <= std::numeric_limits<std::int32_t>::max()) {
    const Wide value = Wide(lhs.value) * (common / lhs.timescale) + sign * Wide(rhs.value) * (common / rhs.timescale);
    return makeChecked(value, static_cast<std::int32_t>(common), rounded);
  }
  const std::int32_t timescale = std::max(lhs.timescale, rhs.timescale);
  const Wide left = divideRounded(Wide(lhs.value) * timescale, lhs.timescale, rounded);
  const Wide right = divideRounded(Wide(rhs.value) * timescale, rhs.timescale, rounded);
  return makeChecked(left + sign * right, timescale, rounded);
}

}  // namespace

CMTime CMTime::make(std::int64_t value, std::int32_t timescale) {
  if (timescale <= 0) return invalid;
  return CMTime{value, timescale, valid};
}

CMTime CMTime::makeWithSeconds(double seconds, std::int32_t preferredTimescale) {
  if (preferredTimescale <= 0 || !std::isfinite(seconds)) return invalid;
  const double ticks = seconds * preferredTimescale;
  const double nearest = std::round(ticks);
  // 2^63 is the first double outside the 64-bit range.
  if (!(std::fabs(nearest) < 9223372036854775808.0)) return invalid;
  return CMTime{static_cast<std::int64_t>(nearest), preferredTimescale, valid | (nearest != ticks ? hasBeenRounded : 0u)};
}

double CMTime::seconds() const noexcept {
  if (!isValid()) return std::numeric_limits<double>::quiet_NaN();
  return static_cast<double>(value) / timescale;
}

CMTime CMTime::convertScale(std::int32_t newTimescale) const {
  if (!isValid() || newTimescale <= 0) return invalid;
  if (newTimescale == timescale) return *this;
  bool rounded = (flags & hasBeenRounded) != 0;
  const Wide converted = divideRounded(Wide(value) * newTimescale, timescale, rounded);
  return makeChecked(converted, newTimescale, rounded);
}

CMTime operator+(const CMTime& lhs, const CMTime& rhs) { return combine(lhs, rhs, 1); }

CMTime operator-(const CMTime& lhs, const CMTime& rhs) { return combine(lhs, rhs, -1); }

std::strong_ordering operator<=>(const CMTime& lhs, const CMTime& rhs) noexcept {
  const bool lhsValid = lhs.isValid();
  const bool rhsValid = rhs.isValid();
  if (!lhsValid || !rhsValid) return rhsValid <=> lhsValid;
  return Wide(lhs.value) * rhs.timescale <=> Wide(rhs.value) * lhs.timescale;
}

bool operator==(const CMTime& lhs, const CMTime& rhs) noexcept { return (lhs <=> rhs) == 0; }

std::string to_string(const CMTime& time) {
  if (!time.isValid()) return "invalid";
  return std::to_string(time.value) + "/" + std::to_string(time.timescale);
}

std::ostream& operator<<(std::ostream& stream, const CMTime& time) { return stream << to_string(time); }

}  // namespace platform
