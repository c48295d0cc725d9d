#pragma once

#include <memory>

#include "Platform/AVFAudio/AVAudioBuffer.hpp"
#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/AVFAudio/AVAudioTime.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace fluvio {

// The buffer's frames as an audio sample buffer stamped with `when`'s host
// time; nothing (with a warn line) when the sample buffer cannot be made or
// the frames cannot be attached to it.
std::shared_ptr<platform::CMSampleBuffer> makeSampleBuffer(const platform::AVAudioPCMBuffer& buffer,
                                                           const platform::AVAudioTime& when);

// With isMuted, zeroes the frames in place (every common format; other
// formats are left alone). Gives the very buffer back either way.
const std::shared_ptr<platform::AVAudioPCMBuffer>& muted(const std::shared_ptr<platform::AVAudioPCMBuffer>& buffer,
                                                         bool isMuted);

// Copies the frames of `source` into `destination`. Refuses (false, nothing
// copied) a source that is not PCM or differs in frame length, common format,
// channel count, interleaving or bytes per frame.
bool copy(platform::AVAudioPCMBuffer& destination, const platform::AVAudioBuffer& source);

}  // namespace fluvio
