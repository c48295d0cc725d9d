#pragma once

#include <algorithm>
#include <concepts>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>
#include <vector>

namespace fluvio {

// Fixed-width numbers that convert to and from the bytes they occupy in memory.
template <class T>
concept MemoryConvertible = (std::integral<T> || std::floating_point<T>) && !std::same_as<T, bool>;

// The bytes of `value` in memory order (little-endian here); callers that need
// network order swap the value first.
template <MemoryConvertible T>
std::vector<std::uint8_t> toData(T value) {
  std::vector<std::uint8_t> bytes(sizeof(T));
  std::memcpy(bytes.data(), &value, sizeof(T));
  return bytes;
}

// A value read in memory order from the first sizeof(T) bytes; further bytes
// are ignored. A shorter input is padded with zero bytes in front, so a short
// big-endian field, once swapped, reads as the same number.
template <MemoryConvertible T>
T fromData(std::span<const std::uint8_t> data) {
  std::uint8_t bytes[sizeof(T)] = {};
  const std::size_t count = std::min(data.size(), sizeof(T));
  std::copy_n(data.begin(), count, bytes + (sizeof(T) - count));
  T value;
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}

}  // namespace fluvio
