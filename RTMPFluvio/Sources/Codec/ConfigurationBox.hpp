#pragma once

#include <optional>
#include <span>

#include "Platform/CoreMedia/CMFormatDescription.hpp"

namespace rtmpfluvio {

// The decoder configuration record the encoder stored with an H.264 ("avcC")
// or HEVC ("hvcC") description, exactly as stored. None for other media or a
// description without that atom.
std::optional<std::span<const std::uint8_t>> configurationBox(const platform::CMFormatDescription& formatDescription);

}  // namespace rtmpfluvio
