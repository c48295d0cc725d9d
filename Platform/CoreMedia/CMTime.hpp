#pragma once

#include <compare>
#include <cstdint>
#include <iosfwd>
#include <string>

namespace platform {

// A rational media time, value / timescale seconds. Times of different
// timescales compare and combine exactly; an invalid time compares equal to
// other invalid times and later than every valid one.
struct CMTime {
  enum Flags : std::uint32_t {
    valid = 1u << 0,
    hasBeenRounded = 1u << 1,
  };

  std::int64_t value = 0;
  std::int32_t timescale = 0;
  std::uint32_t flags = 0;

  static const CMTime zero;
  static const CMTime invalid;

  // A valid time needs a positive timescale; anything else gives `invalid`.
  static CMTime make(std::int64_t value, std::int32_t timescale);
  // Rounds to the nearest tick of `preferredTimescale`; not-a-number,
  // infinite or unrepresentable seconds give `invalid`.
  static CMTime makeWithSeconds(double seconds, std::int32_t preferredTimescale);

  bool isValid() const noexcept { return (flags & valid) != 0 && timescale > 0; }
  // Not-a-number for an invalid time.
  double seconds() const noexcept;
  // The same time in another timescale, rounded half away from zero.
  CMTime convertScale(std::int32_t newTimescale) const;

  friend CMTime operator+(const CMTime& lhs, const CMTime& rhs);
  friend CMTime operator-(const CMTime& lhs, const CMTime& rhs);
  friend std::strong_ordering operator<=>(const CMTime& lhs, const CMTime& rhs) noexcept;
  friend bool operator==(const CMTime& lhs, const CMTime& rhs) noexcept;
};

inline constexpr CMTime CMTime::zero{0, 1, CMTime::valid};
inline constexpr CMTime CMTime::invalid{0, 0, 0};

// "value/timescale" or "invalid", for log lines.
std::string to_string(const CMTime& time);
std::ostream& operator<<(std::ostream& stream, const CMTime& time);

}  // namespace platform
