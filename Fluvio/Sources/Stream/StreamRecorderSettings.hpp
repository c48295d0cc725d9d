#pragma once

#include <map>
#include <memory>

#include "Platform/AVFoundation/AVOutputSettings.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"

namespace fluvio {

// Writer output settings per media type.
using StreamRecorderSettings = std::map<platform::AVMediaType, platform::AVOutputSettings>;

// AAC and H.264, every size and rate taken from the source (the zeros).
const StreamRecorderSettings& defaultStreamRecorderSettings();

// The output settings of a writer input for `mediaType`: the entry of
// `settings` with its zero sample rate, channel count, width and height
// replaced by the source's. Audio without a hint that describes an audio
// stream gets empty settings; so does any other media type. Video without
// a hint counts as 0 x 0.
platform::AVOutputSettings makeOutputSettings(const StreamRecorderSettings& settings, platform::AVMediaType mediaType,
                                              const platform::CMFormatDescription* sourceFormatHint);

}  // namespace fluvio
