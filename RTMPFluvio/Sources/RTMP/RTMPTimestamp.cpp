#include "RTMPFluvio/Sources/RTMP/RTMPTimestamp.hpp"

#include <cmath>

namespace rtmpfluvio {

const char* RTMPTimestamp::Error::what() const noexcept {
  return case_ == Case::invalidSequence ? "invalidSequence" : "deltaOutOfRange";
}

std::uint32_t RTMPTimestamp::update(double seconds) {
  if (!std::isfinite(seconds)) throw Error(Error::Case::deltaOutOfRange);
  if (!hasStarted_) {
    hasStarted_ = true;
    startedAt_ = seconds;
    updatedAt_ = seconds;
    return 0;
  }
  if (!(updatedAt_ < seconds)) throw Error(Error::Case::invalidSequence);
  double delta = (seconds - updatedAt_) * 1000;
  double whole = std::trunc(delta);
  double fraction = timedeltaFraction_ + (delta - whole);
  if (fraction >= 1) {
    fraction -= 1;
    whole += 1;
  }
  if (whole >= 4294967296.0) throw Error(Error::Case::deltaOutOfRange);
  timedeltaFraction_ = fraction;
  updatedAt_ = seconds;
  return static_cast<std::uint32_t>(whole);
}

}  // namespace rtmpfluvio
