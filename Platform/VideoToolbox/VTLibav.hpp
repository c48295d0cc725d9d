#pragma once

#include "Platform/AVFAudio/LibavHandles.hpp"

namespace platform {

// Owning handles of the codec objects the sessions keep; a codec context or
// packet exists only once the codec library has been opened.
using VTCodecContextHandle = CodecContextHandle;
using VTFrameHandle = FrameHandle;
using VTPacketHandle = PacketHandle;

// Keeps the codec libraries to errors on the console: their per-session
// notices would drown everything else. Done once per process.
void quietCodecLogging();

}  // namespace platform
