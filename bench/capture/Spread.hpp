#pragma once

#include <cstddef>
#include <vector>

namespace capturebench {

// How a set of figures lies: the median and the 99th percentile by nearest
// rank, so each is one of the figures.
struct Spread {
  std::size_t count = 0;
  double min = 0;
  double median = 0;
  double p99 = 0;
  double max = 0;
};

// All zero for no figures.
Spread spreadOf(std::vector<double> figures);

}  // namespace capturebench
