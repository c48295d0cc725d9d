#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "Fluvio/Sources/Util/RawValue.hpp"

namespace fluvio {

enum class H264NALUnitType : std::uint8_t {
  unspec = 0,
  slice = 1,
  dpa = 2,
  dpb = 3,
  dpc = 4,
  idr = 5,
  sei = 6,
  sps = 7,
  pps = 8,
  aud = 9,
  eoseq = 10,
  eostream = 11,
  fill = 12,
};

constexpr std::uint8_t rawValue(H264NALUnitType type) noexcept { return static_cast<std::uint8_t>(type); }

// 13 to 255 name no type.
template <>
std::optional<H264NALUnitType> fromRawValue<H264NALUnitType>(std::uint8_t raw);

// One H.264 NAL unit: the one-byte header split into its fields, and the rest.
class H264NALUnit {
 public:
  static constexpr std::size_t headerLength = 1;

  // Throws std::length_error for fewer than headerLength bytes. A header
  // whose type has no name reads as `unspec`.
  explicit H264NALUnit(std::span<const std::uint8_t> bytes);

  // The forbidden-zero bit and nal_ref_idc: the top three bits, 0 to 7.
  std::uint8_t refIdc() const noexcept { return refIdc_; }
  H264NALUnitType type() const noexcept { return type_; }
  const std::vector<std::uint8_t>& payload() const noexcept { return payload_; }

  // The header byte rebuilt from the fields, then the payload.
  std::vector<std::uint8_t> data() const;

  bool operator==(const H264NALUnit&) const = default;

 private:
  std::uint8_t refIdc_;
  H264NALUnitType type_;
  std::vector<std::uint8_t> payload_;
};

}  // namespace fluvio
