#pragma once

#include <cstddef>
#include <cstdint>

namespace fluvio {

// Length-prefixed units (sample data, decoder configuration records) carry
// each unit's length in 4 big-endian bytes.
inline constexpr std::size_t nalLengthPrefixSize = 4;

inline std::uint32_t readNALLengthPrefix(const std::uint8_t* prefix) noexcept {
  return std::uint32_t{prefix[0]} << 24 | std::uint32_t{prefix[1]} << 16 | std::uint32_t{prefix[2]} << 8 |
         std::uint32_t{prefix[3]};
}

inline void writeNALLengthPrefix(std::uint8_t* prefix, std::uint32_t length) noexcept {
  prefix[0] = static_cast<std::uint8_t>(length >> 24);
  prefix[1] = static_cast<std::uint8_t>(length >> 16);
  prefix[2] = static_cast<std::uint8_t>(length >> 8);
  prefix[3] = static_cast<std::uint8_t>(length);
}

}  // namespace fluvio
