#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/AVFAudio/AVAudioTime.hpp"
#include "Platform/Concurrency/Executor.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace fluvio {

class MediaMixer;

// A receiver of the capture mixer's media. A track id selects that capture
// track's raw media; 255 the mixed video or audio.
class MediaMixerOutput {
 public:
  virtual ~MediaMixerOutput() = default;

  virtual platform::Async<std::optional<std::uint8_t>> videoTrackId() = 0;
  virtual platform::Async<std::optional<std::uint8_t>> audioTrackId() = 0;

  // The mixer does not wait for these: they are called from the mixer's
  // context, and a conformer that is an actor posts the work to its own
  // strand, which keeps the media in the order it was delivered.
  virtual void mixer(MediaMixer& mediaMixer, const platform::CMSampleBuffer& sampleBuffer) = 0;
  virtual void mixer(MediaMixer& mediaMixer, const std::shared_ptr<platform::AVAudioPCMBuffer>& audioBuffer,
                     const std::shared_ptr<platform::AVAudioTime>& when) = 0;

  // Which mixer track this output takes for `mediaType` (audio or video).
  virtual platform::Async<void> selectTrack(std::optional<std::uint8_t> trackId, platform::CMMediaType mediaType) = 0;
};

}  // namespace fluvio
