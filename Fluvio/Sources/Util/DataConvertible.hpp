#pragma once

#include <concepts>
#include <cstdint>
#include <span>
#include <vector>

namespace fluvio {

// A value read from and written to bytes through one `data` property.
template <class T>
concept DataConvertible = requires(T value, const T& constValue, std::span<const std::uint8_t> bytes) {
  { constValue.data() } -> std::convertible_to<std::vector<std::uint8_t>>;
  value.setData(bytes);
};

}  // namespace fluvio
