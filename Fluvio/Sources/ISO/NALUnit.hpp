#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>

namespace fluvio {

// A kind of NAL unit that can be built from the bytes of one unit (header
// included, no start code, no length prefix). A unit has at least
// `headerLength` bytes; shorter input is not a unit of that kind.
template <class Unit>
concept NALUnit = requires(std::span<const std::uint8_t> bytes) {
  { Unit::headerLength } -> std::convertible_to<std::size_t>;
  Unit(bytes);
};

}  // namespace fluvio
