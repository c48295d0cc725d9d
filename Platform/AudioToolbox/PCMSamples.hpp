#pragma once

#include <cstdint>
#include <span>

#include "Platform/AVFAudio/AudioBufferList.hpp"
#include "Platform/CoreMedia/AudioStreamBasicDescription.hpp"

namespace platform {

// Moves linear PCM between a buffer list of a stream format (16/32-bit
// integers or 32/64-bit floats, interleaved or one buffer per channel) and
// interleaved floats in -1...1. False when the list does not hold `frames`
// frames of the format.
bool readPCMAsFloat(const AudioStreamBasicDescription& format, const AudioBufferList& list, std::uint32_t frames,
                    std::span<float> interleaved);
// Integers saturate at their limits.
bool writePCMFromFloat(const AudioStreamBasicDescription& format, std::span<const float> interleaved,
                       std::uint32_t frames, AudioBufferList& list);
// Zeroes every buffer of the list.
void silence(AudioBufferList& list);

}  // namespace platform
