#pragma once

#include <optional>

#include "Platform/CoreMedia/AudioStreamBasicDescription.hpp"

namespace platform {

// The stream description of interleaved ALSA samples (an snd_pcm_format_t)
// at `channels` and `sampleRate`. Nothing for formats a microphone is not
// read in (only little-endian 16- and 32-bit integers and 32-bit floats are),
// no channels or no rate.
std::optional<AudioStreamBasicDescription> makeStreamDescription(int alsaFormat, unsigned channels, unsigned sampleRate);

}  // namespace platform
