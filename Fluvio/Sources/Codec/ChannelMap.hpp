#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "Platform/AVFAudio/AVAudioConverter.hpp"

namespace fluvio {

// `map` when the converter can take it: one entry per output channel, each
// naming an input channel; nothing otherwise.
std::optional<std::vector<std::int64_t>> validChannelMap(const std::optional<std::vector<std::int64_t>>& map,
                                                         const platform::AVAudioConverter& converter);

}  // namespace fluvio
