#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "Fluvio/Sources/Util/RawValue.hpp"

namespace fluvio {

enum class HEVCNALUnitType : std::uint8_t {
  codedSliceTrailN = 0,
  codedSliceTrailR = 1,
  codedSliceTsaN = 2,
  codedSliceTsaR = 3,
  codedSliceStsaN = 4,
  codedSliceStsaR = 5,
  codedSliceRadlN = 6,
  codedSliceRadlR = 7,
  codedSliceRaslN = 8,
  codedSliceRsslR = 9,
  vps = 32,
  sps = 33,
  pps = 34,
  accessUnitDelimiter = 35,
  unspec = 255,
};

constexpr std::uint8_t rawValue(HEVCNALUnitType type) noexcept { return static_cast<std::uint8_t>(type); }

// 10 to 31 and 36 to 254 name no type.
template <>
std::optional<HEVCNALUnitType> fromRawValue<HEVCNALUnitType>(std::uint8_t raw);

// One HEVC NAL unit: the two-byte header split into its fields, and the rest.
class HEVCNALUnit {
 public:
  static constexpr std::size_t headerLength = 2;

  // Throws std::length_error for fewer than headerLength bytes. A header
  // whose type has no name reads as `unspec`.
  explicit HEVCNALUnit(std::span<const std::uint8_t> bytes);

  HEVCNALUnitType type() const noexcept { return type_; }
  // The low five bits of the second header byte: the temporal id plus one
  // together with the two low bits of the layer id.
  std::uint8_t temporalIdPlusOne() const noexcept { return temporalIdPlusOne_; }
  const std::vector<std::uint8_t>& payload() const noexcept { return payload_; }

  // The header rebuilt from the fields (the top layer-id bit is always 0, and
  // `unspec` is written as 0xFE), then the payload.
  std::vector<std::uint8_t> data() const;

  bool operator==(const HEVCNALUnit&) const = default;

 private:
  HEVCNALUnitType type_;
  std::uint8_t temporalIdPlusOne_;
  std::vector<std::uint8_t> payload_;
};

}  // namespace fluvio
