#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "Platform/CoreMedia/VideoConfiguration.hpp"

namespace platform {

// The avcC atom for SPS and PPS units (at least one of each, any order), with
// the dimensions read from the first SPS. None for other unit types, an
// unreadable SPS, a header length other than 1, 2 or 4, or sizes the atom
// cannot hold.
std::optional<VideoConfiguration> makeAVCConfiguration(std::span<const std::span<const std::uint8_t>> parameterSets,
                                                       int nalUnitHeaderLength, CMFormatDescriptionBytes& atom);
std::optional<VideoConfiguration> parseAVCConfiguration(std::span<const std::uint8_t> atom);

}  // namespace platform
