#include "Fluvio/Sources/Codec/ChannelMap.hpp"

#include <algorithm>

namespace fluvio {

std::optional<std::vector<std::int64_t>> validChannelMap(const std::optional<std::vector<std::int64_t>>& map,
                                                         const platform::AVAudioConverter& converter) {
  if (!map || map->size() != converter.outputFormat()->channelCount()) return std::nullopt;
  const auto inputChannels = static_cast<std::int64_t>(converter.inputFormat()->channelCount());
  if (std::any_of(map->begin(), map->end(), [&](auto entry) { return entry >= inputChannels; })) return std::nullopt;
  return map;
}

}  // namespace fluvio
