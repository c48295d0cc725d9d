#include "Platform/CoreMedia/CMClock.hpp"

#include "Platform/CoreMedia/HostClock.hpp"

namespace platform {

std::shared_ptr<CMClock> CMClock::hostTimeClock() {
  static const std::shared_ptr<CMClock> clock(new CMClock());
  return clock;
}

CMTime CMClock::time() const { return HostClock::time(HostClock::now()); }

CMTime CMClock::convertTime(const CMTime& time, const CMClock&) const { return time; }

}  // namespace platform
