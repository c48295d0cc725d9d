#pragma once

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

// The units again, each behind its length in 4 big-endian bytes.
std::vector<std::uint8_t> lengthPrefixed(const std::vector<std::span<const std::uint8_t>>& units);

}  // namespace platform
