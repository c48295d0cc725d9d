#pragma once

#include <memory>

#include "Platform/CoreMedia/CMTime.hpp"

namespace platform {

// A source of media time. The host-time clock is the only clock here, so
// converting between clocks keeps the time as it is.
class CMClock {
 public:
  static std::shared_ptr<CMClock> hostTimeClock();

  CMTime time() const;
  CMTime convertTime(const CMTime& time, const CMClock& to) const;

 private:
  CMClock() = default;
};

}  // namespace platform
