#include "RTMPFluvio/Sources/Codec/OpusHeader.hpp"

#include <cmath>

namespace rtmpfluvio {

std::optional<std::array<std::uint8_t, kOpusHeaderSize>> makeOpusHeader(std::uint32_t channelCount, double sampleRate) {
  if (channelCount > 255 || !(sampleRate >= 0 && sampleRate < 4294967296.0)) return std::nullopt;
  const auto rate = static_cast<std::uint32_t>(sampleRate);
  return std::array<std::uint8_t, kOpusHeaderSize>{
      'O', 'p', 'u', 's', 'H', 'e', 'a', 'd',
      1,  // version
      static_cast<std::uint8_t>(channelCount),
      0, 0,  // pre-skip
      static_cast<std::uint8_t>(rate), static_cast<std::uint8_t>(rate >> 8), static_cast<std::uint8_t>(rate >> 16),
      static_cast<std::uint8_t>(rate >> 24),
      0, 0,  // output gain
      0,     // channel mapping family
  };
}

}  // namespace rtmpfluvio
