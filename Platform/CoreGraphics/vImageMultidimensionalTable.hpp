#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "Platform/CoreGraphics/vImageBuffer.hpp"

namespace platform {

// A lookup table from three input channels (each 0...1, sampled at
// gridPoints evenly spaced points) to one output channel, entries 0...65535
// standing for 0...1. Entry index: (r * gridPoints + g) * gridPoints + b.
class vImageMultidimensionalTable {
 public:
  // None when the entry count is not gridPoints cubed or gridPoints < 2.
  static std::shared_ptr<const vImageMultidimensionalTable> make(std::span<const std::uint16_t> entries,
                                                                 std::size_t gridPoints);

  std::size_t gridPoints() const noexcept { return gridPoints_; }
  // Trilinear interpolation between the eight surrounding grid points.
  float lookup(float red, float green, float blue) const noexcept;

  vImageMultidimensionalTable(std::vector<float> values, std::size_t gridPoints)
      : values_(std::move(values)), gridPoints_(gridPoints) {}

 private:
  std::vector<float> values_;
  std::size_t gridPoints_;
};

// Looks the planes R, G and B (floats) up in `table` into the float plane `destination`.
void vImageMultiDimensionalInterpolatedLookupTable_PlanarF(const std::array<vImage_Buffer, 3>& sources,
                                                           const vImage_Buffer& destination,
                                                           const vImageMultidimensionalTable& table);

}  // namespace platform
