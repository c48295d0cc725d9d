#pragma once

#include "Platform/AVFAudio/LibavHandles.hpp"

namespace platform {

// Keeps the codec libraries to errors on the console: their per-session
// notices would drown everything else. Done once per process.
void quietCodecLogging();

}  // namespace platform
