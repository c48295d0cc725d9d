#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace platform {

// Reads the bits of a NAL unit's payload with the emulation-prevention bytes
// (the 0x03 of 0x00 0x00 0x03) taken out. Reading past the end yields zeros
// and marks the reader failed, so a truncated unit can never be overrun.
class RBSPBitReader {
 public:
  explicit RBSPBitReader(std::span<const std::uint8_t> unit);

  std::uint32_t bits(int count);  // count <= 32
  bool flag() { return bits(1) != 0; }
  void skip(std::size_t count);
  // Exp-Golomb codes; a code longer than 32 bits fails the reader.
  std::uint32_t unsignedExpGolomb();
  std::int32_t signedExpGolomb();

  bool failed() const noexcept { return failed_; }

 private:
  std::vector<std::uint8_t> payload_;
  std::size_t position_ = 0;  // in bits
  bool failed_ = false;
};

}  // namespace platform
