#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace rtmpfluvio {

// The Opus identification header ("OpusHead", version 1, no pre-skip, no
// gain), its numbers least significant byte first; the rate's fraction is cut
// off. One or two channels use mapping family 0; three to eight use family 1
// with the stream counts and Vorbis channel order of a surround encoder. None
// for no channels, more than eight, or a rate that is not a number from 0
// up to 2^32.
std::optional<std::vector<std::uint8_t>> makeOpusHeader(std::uint32_t channelCount, double sampleRate);

// What a received identification header says.
struct OpusHeaderInfo {
  std::uint8_t channelCount;
  // The source's rate, which the decoder need not run at.
  std::uint32_t inputSampleRate;
};

// None unless the header is whole, starts "OpusHead", has 1 to 8 channels
// and, beyond two, carries a channel mapping (a family other than 0).
std::optional<OpusHeaderInfo> readOpusHeader(std::span<const std::uint8_t> header);

}  // namespace rtmpfluvio
