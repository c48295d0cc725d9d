#include "bench/capture/Spread.hpp"

#include <algorithm>
#include <cmath>

namespace capturebench {

Spread spreadOf(std::vector<double> figures) {
  if (figures.empty()) return {};
  std::sort(figures.begin(), figures.end());
  const auto rank = [&](double fraction) {
    const auto position = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(figures.size())));
    return figures[std::max<std::size_t>(position, 1) - 1];
  };
  return {figures.size(), figures.front(), rank(0.5), rank(0.99), figures.back()};
}

}  // namespace capturebench
