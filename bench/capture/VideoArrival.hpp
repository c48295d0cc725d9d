#pragma once

#include <cstdint>

namespace capturebench {

// A coded video frame as the ingest read it: its absolute RTMP timestamp and
// the host time at which the read holding its last byte returned.
struct VideoArrival {
  std::uint32_t timestamp = 0;
  std::uint64_t hostTime = 0;
};

}  // namespace capturebench
