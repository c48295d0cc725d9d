#include "RTMPFluvio/Sources/Codec/OpusHeader.hpp"

#include <algorithm>
#include <array>

namespace rtmpfluvio {
namespace {

// Streams, coupled (stereo) streams and the stream channel of each output
// channel in Vorbis order, for 3 to 8 channels (mapping family 1).
struct SurroundMapping {
  std::uint8_t streams;
  std::uint8_t coupledStreams;
  std::array<std::uint8_t, 8> channels;
};

constexpr SurroundMapping kSurroundMappings[] = {
    {2, 1, {0, 2, 1}},                 // 3: L C R
    {2, 2, {0, 1, 2, 3}},              // 4: FL FR BL BR
    {3, 2, {0, 4, 1, 2, 3}},           // 5: FL C FR BL BR
    {4, 2, {0, 4, 1, 2, 3, 5}},        // 6: 5.1
    {5, 2, {0, 4, 1, 2, 3, 5, 6}},     // 7: 6.1
    {5, 3, {0, 6, 1, 2, 3, 4, 5, 7}},  // 8: 7.1
};

constexpr std::uint32_t kMostChannels = 8;

// Magic, version, channels, pre-skip, input rate, gain, mapping family.
constexpr std::uint8_t kMagic[] = {'O', 'p', 'u', 's', 'H', 'e', 'a', 'd'};
constexpr std::size_t kHeadSize = 19;
constexpr std::size_t kChannelsOffset = 9;
constexpr std::size_t kRateOffset = 12;
constexpr std::size_t kFamilyOffset = 18;

}  // namespace

std::optional<std::vector<std::uint8_t>> makeOpusHeader(std::uint32_t channelCount, double sampleRate) {
  if (channelCount == 0 || channelCount > kMostChannels || !(sampleRate >= 0 && sampleRate < 4294967296.0)) {
    return std::nullopt;
  }
  const auto rate = static_cast<std::uint32_t>(sampleRate);
  const bool surround = channelCount > 2;
  std::vector<std::uint8_t> header{
      'O', 'p', 'u', 's', 'H', 'e', 'a', 'd',
      1,  // version
      static_cast<std::uint8_t>(channelCount),
      0, 0,  // pre-skip
      static_cast<std::uint8_t>(rate), static_cast<std::uint8_t>(rate >> 8), static_cast<std::uint8_t>(rate >> 16),
      static_cast<std::uint8_t>(rate >> 24),
      0, 0,                  // output gain
      static_cast<std::uint8_t>(surround ? 1 : 0),  // channel mapping family
  };
  if (surround) {
    const SurroundMapping& mapping = kSurroundMappings[channelCount - 3];
    header.push_back(mapping.streams);
    header.push_back(mapping.coupledStreams);
    header.insert(header.end(), mapping.channels.begin(), mapping.channels.begin() + channelCount);
  }
  return header;
}

std::optional<OpusHeaderInfo> readOpusHeader(std::span<const std::uint8_t> header) {
  if (header.size() < kHeadSize || !std::equal(std::begin(kMagic), std::end(kMagic), header.begin())) {
    return std::nullopt;
  }
  const std::uint8_t channels = header[kChannelsOffset];
  if (channels == 0 || channels > kMostChannels || (channels > 2 && header[kFamilyOffset] == 0)) return std::nullopt;
  std::uint32_t inputRate = 0;
  for (std::size_t index = 0; index < 4; ++index) {
    inputRate |= std::uint32_t{header[kRateOffset + index]} << (8 * index);
  }
  return OpusHeaderInfo{channels, inputRate};
}

}  // namespace rtmpfluvio
