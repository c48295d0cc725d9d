#pragma once

#include <cstdint>

namespace capturebench {

// Jiffies of all cores together since boot, from /proc/stat.
struct MachineCPUTimes {
  std::uint64_t busy = 0;
  std::uint64_t total = 0;
};

MachineCPUTimes machineCPUTimes();
// Percent of the machine's cores busy between two readings.
double busyPercent(const MachineCPUTimes& before, const MachineCPUTimes& after);
// The one-minute load average; -1 when it cannot be read.
double loadAverage();

}  // namespace capturebench
