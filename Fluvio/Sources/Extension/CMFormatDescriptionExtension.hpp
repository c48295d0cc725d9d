#pragma once

#include "Platform/CoreMedia/CMFormatDescription.hpp"

namespace fluvio {

// False for the uncompressed pixel formats, true for every other media
// subtype: codecs, audio formats (linear PCM included) and unknown codes.
bool isCompressed(const platform::CMFormatDescription& formatDescription);

}  // namespace fluvio
