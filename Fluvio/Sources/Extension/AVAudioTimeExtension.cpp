#include "Fluvio/Sources/Extension/AVAudioTimeExtension.hpp"

#include "Platform/CoreMedia/HostClock.hpp"

namespace fluvio {

platform::CMTime makeTime(const platform::AVAudioTime& time) {
  if (!time.isHostTimeValid()) return platform::CMTime::invalid;
  return platform::HostClock::time(time.hostTime());
}

}  // namespace fluvio
