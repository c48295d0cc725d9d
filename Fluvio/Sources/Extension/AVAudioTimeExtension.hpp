#pragma once

#include "Platform/AVFAudio/AVAudioTime.hpp"
#include "Platform/CoreMedia/CMTime.hpp"

namespace fluvio {

// The time's host time as a media time in nanoseconds (exact); invalid for
// a time without a host time.
platform::CMTime makeTime(const platform::AVAudioTime& time);

}  // namespace fluvio
