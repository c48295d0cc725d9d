#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace platform {

// The NAL units of encoder output in start-code form (00 00 01 or
// 00 00 00 01 before each unit), in order, without their start codes.
// Trailing zero bytes of a unit belong to the next start code.
std::vector<std::span<const std::uint8_t>> splitAnnexB(std::span<const std::uint8_t> data);
// The same into `units`, whose room is kept from one call to the next.
void splitAnnexB(std::span<const std::uint8_t> data, std::vector<std::span<const std::uint8_t>>& units);

// Samples carry each unit behind its length in this many big-endian bytes.
inline constexpr int lengthPrefixSize = 4;

// Bytes of the units, each behind its length.
std::size_t lengthPrefixedSize(std::span<const std::span<const std::uint8_t>> units);
// Writes `unit` behind its length at the start of `destination`, which must
// hold both; returns the rest of `destination`.
std::span<std::uint8_t> writeLengthPrefixed(std::span<const std::uint8_t> unit, std::span<std::uint8_t> destination);

}  // namespace platform
