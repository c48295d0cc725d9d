#include "Fluvio/Sources/ISO/HEVCNALUnit.hpp"

#include <stdexcept>

namespace fluvio {

template <>
std::optional<HEVCNALUnitType> fromRawValue<HEVCNALUnitType>(std::uint8_t raw) {
  const bool named = raw <= rawValue(HEVCNALUnitType::codedSliceRsslR) ||
                     (raw >= rawValue(HEVCNALUnitType::vps) &&
                      raw <= rawValue(HEVCNALUnitType::accessUnitDelimiter)) ||
                     raw == rawValue(HEVCNALUnitType::unspec);
  if (!named) return std::nullopt;
  return static_cast<HEVCNALUnitType>(raw);
}

HEVCNALUnit::HEVCNALUnit(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < headerLength) throw std::length_error("HEVCNALUnit needs two header bytes");
  type_ = fromRawValue<HEVCNALUnitType>((bytes[0] >> 1) & 0x3F).value_or(HEVCNALUnitType::unspec);
  temporalIdPlusOne_ = bytes[1] & 0x1F;
  payload_.assign(bytes.begin() + headerLength, bytes.end());
}

std::vector<std::uint8_t> HEVCNALUnit::data() const {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(headerLength + payload_.size());
  bytes.push_back(static_cast<std::uint8_t>(rawValue(type_) << 1));
  bytes.push_back(temporalIdPlusOne_);
  bytes.insert(bytes.end(), payload_.begin(), payload_.end());
  return bytes;
}

}  // namespace fluvio
