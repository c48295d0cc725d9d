#include "Platform/CoreGraphics/vImageMultidimensionalTable.hpp"

#include <algorithm>
#include <cmath>

namespace platform {

std::shared_ptr<const vImageMultidimensionalTable> vImageMultidimensionalTable::make(
    std::span<const std::uint16_t> entries, std::size_t gridPoints) {
  if (gridPoints < 2 || entries.size() != gridPoints * gridPoints * gridPoints) return nullptr;
  std::vector<float> values(entries.size());
  std::transform(entries.begin(), entries.end(), values.begin(), [](std::uint16_t v) { return v / 65535.0f; });
  return std::make_shared<const vImageMultidimensionalTable>(std::move(values), gridPoints);
}

float vImageMultidimensionalTable::lookup(float red, float green, float blue) const noexcept {
  const float last = static_cast<float>(gridPoints_ - 1);
  const auto split = [last](float value, std::size_t& index, float& fraction) {
    const float position = std::clamp(std::isnan(value) ? 0.0f : value, 0.0f, 1.0f) * last;
    const float base = std::min(std::floor(position), last - 1);
    index = static_cast<std::size_t>(base);
    fraction = position - base;
  };
  std::size_t r, g, b;
  float fr, fg, fb;
  split(red, r, fr);
  split(green, g, fg);
  split(blue, b, fb);
  const std::size_t n = gridPoints_;
  const auto at = [&](std::size_t ri, std::size_t gi, std::size_t bi) { return values_[(ri * n + gi) * n + bi]; };
  const auto lerp = [](float a, float b, float t) { return a + (b - a) * t; };
  const float c00 = lerp(at(r, g, b), at(r, g, b + 1), fb);
  const float c01 = lerp(at(r, g + 1, b), at(r, g + 1, b + 1), fb);
  const float c10 = lerp(at(r + 1, g, b), at(r + 1, g, b + 1), fb);
  const float c11 = lerp(at(r + 1, g + 1, b), at(r + 1, g + 1, b + 1), fb);
  return lerp(lerp(c00, c01, fg), lerp(c10, c11, fg), fr);
}

void vImageMultiDimensionalInterpolatedLookupTable_PlanarF(const std::array<vImage_Buffer, 3>& sources,
                                                           const vImage_Buffer& destination,
                                                           const vImageMultidimensionalTable& table) {
  for (std::size_t y = 0; y < destination.height; ++y) {
    const auto* red = reinterpret_cast<const float*>(sources[0].row(y));
    const auto* green = reinterpret_cast<const float*>(sources[1].row(y));
    const auto* blue = reinterpret_cast<const float*>(sources[2].row(y));
    auto* out = reinterpret_cast<float*>(destination.row(y));
    for (std::size_t x = 0; x < destination.width; ++x) out[x] = table.lookup(red[x], green[x], blue[x]);
  }
}

}  // namespace platform
