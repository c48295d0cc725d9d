#pragma once

#include <cstdint>
#include <vector>

#include "Platform/AVFAudio/AVAudioCompressedBuffer.hpp"

namespace fluvio {

// Frames the buffer's AAC bytes as one ADTS frame in `data`: the 7-byte
// header from the buffer format's description, then the bytes. `data` grows
// when it is too short for both. Writes nothing and gives false when the
// format has no AudioSpecificConfig or the frame cannot be framed as ADTS.
bool encode(const platform::AVAudioCompressedBuffer& buffer, std::vector<std::uint8_t>& data);

}  // namespace fluvio
