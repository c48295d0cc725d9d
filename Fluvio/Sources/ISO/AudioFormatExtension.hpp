#pragma once

#include <cstdint>
#include <memory>

#include "Platform/AVFAudio/AVAudioChannelLayout.hpp"
#include "Platform/AVFAudio/AVAudioFormat.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"

namespace fluvio {

// The layout the audio mixers use for a channel count: nothing below three
// channels, named layouts for 3, 4, 5, 6 and 8, discrete channels otherwise.
std::shared_ptr<platform::AVAudioChannelLayout> makeChannelLayout(std::uint32_t channels);

// The format of an audio format description. Big-endian 16-bit linear PCM
// becomes the native 16-bit format, since the ring buffer swaps such samples
// as it stores them. Null without an audio stream description or when the
// platform rejects the stream.
std::shared_ptr<platform::AVAudioFormat> makeAudioFormat(
    const std::shared_ptr<const platform::CMFormatDescription>& formatDescription);

}  // namespace fluvio
