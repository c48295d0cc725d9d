#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/AVFAudio/AVAudioTime.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace tarvelportalbroadcast {

// App audio as the stream's audio encoder takes it: PCM frames with the
// host time of the first one.
struct AppAudio {
  std::shared_ptr<platform::AVAudioPCMBuffer> buffer;
  std::shared_ptr<platform::AVAudioTime> when;
};

// An AAC encoder puts this many frames of silence before the first frame it
// is given, and a player plays them from the publication's first picture on.
inline constexpr double aacPrimingFrames = 1024;

// The frames of a linear PCM sample buffer that a player of the publication
// plays with or after its first picture, shown at host time
// `firstPictureTime` (nanoseconds): those from aacPrimingFrames after it on.
// Nothing when no frame is left or the buffer is not linear PCM.
std::optional<AppAudio> makeAppAudio(const platform::CMSampleBuffer& sampleBuffer, std::uint64_t firstPictureTime);

}  // namespace tarvelportalbroadcast
