#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "Platform/AVFAudio/AVAudioFormat.hpp"
#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/AVFAudio/AVAudioTime.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/CoreMedia/SharedObjectRecycler.hpp"

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

// Turns the app-audio sample buffers of one broadcast into AppAudio. Sound
// comes about fifty times a second in one format, so the format is made
// again only when the buffers' description changes, and a PCM buffer is
// handed out again once the stream has taken its frames. Used by one caller
// at a time.
class AppAudioMaker {
 public:
  // The frames of a linear PCM sample buffer that a player of the
  // publication plays with or after its first picture, shown at host time
  // `firstPictureTime` (nanoseconds): those from aacPrimingFrames after it
  // on. Nothing when no frame is left or the buffer is not linear PCM.
  std::optional<AppAudio> make(const platform::CMSampleBuffer& sampleBuffer, std::uint64_t firstPictureTime);

 private:
  // The format of `description`: the last one while the description is equal.
  const std::shared_ptr<platform::AVAudioFormat>& formatOf(
      const std::shared_ptr<const platform::CMFormatDescription>& description);
  // A buffer of the current format with room for at least `frames`.
  std::shared_ptr<platform::AVAudioPCMBuffer> takeBuffer(platform::AVAudioFrameCount frames);

  std::shared_ptr<platform::AVAudioFormat> format_;
  // Buffers of format_ with frameCapacity_ frames each; replaced with the
  // format or when a longer sample buffer comes.
  std::unique_ptr<platform::SharedObjectRecycler<platform::AVAudioPCMBuffer>> buffers_;
  platform::AVAudioFrameCount frameCapacity_ = 0;
  std::vector<std::span<std::uint8_t>> destinations_;
};

}  // namespace tarvelportalbroadcast
