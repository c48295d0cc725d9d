#include "Fluvio/Sources/ISO/H264NALUnit.hpp"

#include <stdexcept>

namespace fluvio {

template <>
std::optional<H264NALUnitType> fromRawValue<H264NALUnitType>(std::uint8_t raw) {
  if (raw > rawValue(H264NALUnitType::fill)) return std::nullopt;
  return static_cast<H264NALUnitType>(raw);
}

H264NALUnit::H264NALUnit(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < headerLength) throw std::length_error("H264NALUnit needs a header byte");
  const std::uint8_t header = bytes[0];
  refIdc_ = header >> 5;
  type_ = fromRawValue<H264NALUnitType>(header & 0x1F).value_or(H264NALUnitType::unspec);
  payload_.assign(bytes.begin() + headerLength, bytes.end());
}

std::vector<std::uint8_t> H264NALUnit::data() const {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(headerLength + payload_.size());
  bytes.push_back(static_cast<std::uint8_t>(refIdc_ << 5 | rawValue(type_)));
  bytes.insert(bytes.end(), payload_.begin(), payload_.end());
  return bytes;
}

}  // namespace fluvio
