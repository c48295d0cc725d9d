#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "Platform/CoreMedia/VideoConfiguration.hpp"

namespace platform {

// The hvcC atom for VPS, SPS and PPS units (at least one of each, any order),
// its profile fields and the dimensions taken from the first SPS. None for
// other unit types, an unreadable SPS, a header length other than 1, 2 or 4,
// or sizes the atom cannot hold.
std::optional<VideoConfiguration> makeHEVCConfiguration(std::span<const std::span<const std::uint8_t>> parameterSets,
                                                        int nalUnitHeaderLength, CMFormatDescriptionBytes& atom);
std::optional<VideoConfiguration> parseHEVCConfiguration(std::span<const std::uint8_t> atom);

}  // namespace platform
