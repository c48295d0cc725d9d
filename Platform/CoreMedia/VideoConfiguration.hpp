#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "Platform/CoreMedia/CMFormatDescription.hpp"

namespace platform {

// What a decoder configuration atom (avcC or hvcC) says about its stream.
struct VideoConfiguration {
  std::vector<CMFormatDescriptionBytes> parameterSets;
  int nalUnitHeaderLength = 0;
  CMVideoDimensions dimensions;
};

// Big-endian reads of an atom's body that fail instead of running past it.
class AtomReader {
 public:
  explicit AtomReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::optional<std::uint8_t> byte() {
    if (position_ >= bytes_.size()) return std::nullopt;
    return bytes_[position_++];
  }
  std::optional<std::uint16_t> uint16() {
    if (bytes_.size() - position_ < 2) return std::nullopt;
    const auto value = static_cast<std::uint16_t>((bytes_[position_] << 8) | bytes_[position_ + 1]);
    position_ += 2;
    return value;
  }
  // A 16-bit length, then that many bytes.
  std::optional<CMFormatDescriptionBytes> sizedUnit() {
    const auto length = uint16();
    if (!length || bytes_.size() - position_ < *length) return std::nullopt;
    const auto start = bytes_.begin() + static_cast<std::ptrdiff_t>(position_);
    position_ += *length;
    return CMFormatDescriptionBytes(start, start + *length);
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

inline void appendUInt16(CMFormatDescriptionBytes& bytes, std::size_t value) {
  bytes.push_back(static_cast<std::uint8_t>(value >> 8));
  bytes.push_back(static_cast<std::uint8_t>(value));
}

// A 16-bit length, then the unit; false when the unit is too long for it.
inline bool appendSizedUnit(CMFormatDescriptionBytes& bytes, std::span<const std::uint8_t> unit) {
  if (unit.size() > 0xFFFF) return false;
  appendUInt16(bytes, unit.size());
  bytes.insert(bytes.end(), unit.begin(), unit.end());
  return true;
}

}  // namespace platform
