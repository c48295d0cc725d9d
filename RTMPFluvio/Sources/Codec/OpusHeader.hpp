#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace rtmpfluvio {

inline constexpr std::size_t kOpusHeaderSize = 19;

// The Opus identification header ("OpusHead", version 1, no pre-skip, no
// gain, mapping family 0), its numbers least significant byte first. The
// rate's fraction is cut off. None for more than 255 channels or a rate that
// is not a number from 0 up to 2^32.
std::optional<std::array<std::uint8_t, kOpusHeaderSize>> makeOpusHeader(std::uint32_t channelCount, double sampleRate);

}  // namespace rtmpfluvio
