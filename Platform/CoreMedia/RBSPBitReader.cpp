#include "Platform/CoreMedia/RBSPBitReader.hpp"

namespace platform {

RBSPBitReader::RBSPBitReader(std::span<const std::uint8_t> unit) {
  payload_.reserve(unit.size());
  int zeros = 0;
  for (const std::uint8_t byte : unit) {
    if (zeros >= 2 && byte == 0x03) {
      zeros = 0;
      continue;
    }
    zeros = byte == 0 ? zeros + 1 : 0;
    payload_.push_back(byte);
  }
}

std::uint32_t RBSPBitReader::bits(int count) {
  std::uint32_t value = 0;
  for (int index = 0; index < count; ++index) {
    if (position_ >= payload_.size() * 8) {
      failed_ = true;
      return 0;
    }
    const std::uint8_t byte = payload_[position_ / 8];
    value = (value << 1) | ((byte >> (7 - position_ % 8)) & 1u);
    ++position_;
  }
  return value;
}

void RBSPBitReader::skip(std::size_t count) {
  if (count > payload_.size() * 8 - position_) {
    failed_ = true;
    position_ = payload_.size() * 8;
    return;
  }
  position_ += count;
}

std::uint32_t RBSPBitReader::unsignedExpGolomb() {
  int leadingZeros = 0;
  while (!failed_ && bits(1) == 0) {
    if (++leadingZeros > 31) {
      failed_ = true;
      return 0;
    }
  }
  if (failed_) return 0;
  return ((1u << leadingZeros) - 1u) + bits(leadingZeros);
}

std::int32_t RBSPBitReader::signedExpGolomb() {
  const std::uint32_t code = unsignedExpGolomb();
  const auto magnitude = static_cast<std::int32_t>((code + 1) / 2);
  return code % 2 == 1 ? magnitude : -magnitude;
}

}  // namespace platform
