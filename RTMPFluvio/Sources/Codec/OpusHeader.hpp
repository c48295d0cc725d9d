#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace rtmpfluvio {

// The Opus identification header ("OpusHead", version 1, no pre-skip, no
// gain), its numbers least significant byte first; the rate's fraction is cut
// off. One or two channels use mapping family 0; three to eight use family 1
// with the stream counts and Vorbis channel order of a surround encoder. None
// for no channels, more than eight, or a rate that is not a number from 0
// up to 2^32.
std::optional<std::vector<std::uint8_t>> makeOpusHeader(std::uint32_t channelCount, double sampleRate);

}  // namespace rtmpfluvio
