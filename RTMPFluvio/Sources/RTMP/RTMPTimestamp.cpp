#include "RTMPFluvio/Sources/RTMP/RTMPTimestamp.hpp"

#include <cmath>

namespace rtmpfluvio {

const char* RTMPTimestamp::Error::what() const noexcept {
  return case_ == Case::invalidSequence ? "invalidSequence" : "deltaOutOfRange";
}

std::uint32_t RTMPTimestamp::update(double seconds) { return update(seconds, seconds); }

std::uint32_t RTMPTimestamp::update(double seconds, double origin) {
  if (!std::isfinite(seconds)) throw Error(Error::Case::deltaOutOfRange);
  if (!hasStarted_) {
    if (!std::isfinite(origin)) throw Error(Error::Case::deltaOutOfRange);
    // To the nearest millisecond: the offset is one step, with no fraction to carry.
    const double offset = seconds > origin ? std::round((seconds - origin) * 1000) : 0;
    if (offset >= 4294967296.0) throw Error(Error::Case::deltaOutOfRange);
    const auto delta = static_cast<std::uint32_t>(offset);
    hasStarted_ = true;
    startedAt_ = seconds;
    updatedAt_ = seconds;
    return delta;
  }
  if (!(updatedAt_ < seconds)) throw Error(Error::Case::invalidSequence);
  const auto delta = wholeMilliseconds((seconds - updatedAt_) * 1000);
  updatedAt_ = seconds;
  return delta;
}

std::uint32_t RTMPTimestamp::wholeMilliseconds(double delta) {
  double whole = std::trunc(delta);
  double fraction = timedeltaFraction_ + (delta - whole);
  if (fraction >= 1) {
    fraction -= 1;
    whole += 1;
  }
  if (whole >= 4294967296.0) throw Error(Error::Case::deltaOutOfRange);
  timedeltaFraction_ = fraction;
  return static_cast<std::uint32_t>(whole);
}

}  // namespace rtmpfluvio
