#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace rtmpfluvio {

// The low `width` bytes of `value`, most significant first, appended to `bytes`.
inline void appendBigEndian(std::vector<std::uint8_t>& bytes, std::uint32_t value, std::size_t width) {
  for (std::size_t shift = width * 8; shift > 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(value >> (shift - 8)));
}

// The first `width` (at most 4) of `bytes` as an unsigned big-endian number;
// the caller checks that they are there.
inline std::uint32_t readBigEndian(std::span<const std::uint8_t> bytes, std::size_t width) noexcept {
  std::uint32_t value = 0;
  for (std::size_t index = 0; index < width; ++index) value = value << 8 | bytes[index];
  return value;
}

}  // namespace rtmpfluvio
