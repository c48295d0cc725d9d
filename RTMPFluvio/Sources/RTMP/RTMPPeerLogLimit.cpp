#include "RTMPFluvio/Sources/RTMP/RTMPPeerLogLimit.hpp"

namespace rtmpfluvio {

std::string RTMPPeerLogLimit::Admission::summary() const {
  if (suppressed_ == 0) return {};
  return "(" + std::to_string(suppressed_) + " similar lines suppressed) ";
}

RTMPPeerLogLimit::RTMPPeerLogLimit(std::size_t lines, Clock::duration interval) : lines_(lines), interval_(interval) {}

RTMPPeerLogLimit::Admission RTMPPeerLogLimit::admit(Clock::time_point now) {
  const std::lock_guard lock(mutex_);
  if (!intervalStart_ || now - *intervalStart_ >= interval_) {
    intervalStart_ = now;
    admitted_ = 0;
  }
  if (admitted_ >= lines_) {
    ++suppressed_;
    return Admission(false, 0);
  }
  ++admitted_;
  const std::uint64_t suppressed = suppressed_;
  suppressed_ = 0;
  return Admission(true, suppressed);
}

}  // namespace rtmpfluvio
