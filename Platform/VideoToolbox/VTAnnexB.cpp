#include "Platform/VideoToolbox/VTAnnexB.hpp"

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

std::vector<std::uint8_t> lengthPrefixed(const std::vector<std::span<const std::uint8_t>>& units) {
  std::size_t total = 0;
  for (const auto& unit : units) total += 4 + unit.size();
  std::vector<std::uint8_t> bytes;
  bytes.reserve(total);
  for (const auto& unit : units) {
    const auto length = static_cast<std::uint32_t>(unit.size());
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(length >> shift));
    bytes.insert(bytes.end(), unit.begin(), unit.end());
  }
  return bytes;
}

}  // namespace platform
