#include "Platform/VideoToolbox/VTAnnexB.hpp"

#include <algorithm>
#include <cstddef>

namespace platform {
namespace {

constexpr std::size_t startCodeLength = 3;

// Index of the first 00 00 01 at or after `from`, or data.size().
std::size_t findStartCode(std::span<const std::uint8_t> data, std::size_t from) {
  for (std::size_t index = from; index + 2 < data.size(); ++index) {
    if (data[index + 2] > 1) {
      index += 2;
    } else if (data[index] == 0 && data[index + 1] == 0 && data[index + 2] == 1) {
      return index;
    }
  }
  return data.size();
}

}  // namespace

std::vector<std::span<const std::uint8_t>> splitAnnexB(std::span<const std::uint8_t> data) {
  std::vector<std::span<const std::uint8_t>> units;
  splitAnnexB(data, units);
  return units;
}

void splitAnnexB(std::span<const std::uint8_t> data, std::vector<std::span<const std::uint8_t>>& units) {
  units.clear();
  std::size_t startCode = findStartCode(data, 0);
  while (startCode < data.size()) {
    const std::size_t start = startCode + startCodeLength;
    startCode = findStartCode(data, start);
    std::size_t end = startCode;
    while (end > start && data[end - 1] == 0) --end;
    if (end > start) units.push_back(data.subspan(start, end - start));
  }
}

std::size_t lengthPrefixedSize(std::span<const std::span<const std::uint8_t>> units) {
  std::size_t total = 0;
  for (const auto& unit : units) total += lengthPrefixSize + unit.size();
  return total;
}

std::span<std::uint8_t> writeLengthPrefixed(std::span<const std::uint8_t> unit, std::span<std::uint8_t> destination) {
  const auto length = static_cast<std::uint32_t>(unit.size());
  for (int index = 0; index < lengthPrefixSize; ++index) {
    destination[index] = static_cast<std::uint8_t>(length >> (8 * (lengthPrefixSize - 1 - index)));
  }
  std::copy(unit.begin(), unit.end(), destination.begin() + lengthPrefixSize);
  return destination.subspan(lengthPrefixSize + unit.size());
}

}  // namespace platform
