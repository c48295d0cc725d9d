#include "bench/capture/MachineLoad.hpp"

#include <fstream>
#include <string>

namespace capturebench {

MachineCPUTimes machineCPUTimes() {
  std::ifstream file("/proc/stat");
  std::string label;
  // user nice system idle iowait irq softirq steal
  std::uint64_t fields[8] = {};
  file >> label;
  for (auto& field : fields) file >> field;
  MachineCPUTimes times;
  for (const auto field : fields) times.total += field;
  times.busy = times.total - fields[3] - fields[4];
  return times;
}

double busyPercent(const MachineCPUTimes& before, const MachineCPUTimes& after) {
  const auto total = after.total - before.total;
  return total ? 100.0 * static_cast<double>(after.busy - before.busy) / static_cast<double>(total) : 0;
}

double loadAverage() {
  std::ifstream file("/proc/loadavg");
  double oneMinute = -1;
  file >> oneMinute;
  return oneMinute;
}

}  // namespace capturebench
