#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "Fluvio/Sources/Stream/MediaMixerOutput.hpp"
#include "Fluvio/Sources/Stream/StreamOutput.hpp"
#include "Platform/Concurrency/Actor.hpp"

namespace fluvio {

// What both preview views share: they take video from a mixer or a stream
// (audio is ignored), choose a mixer track, and handle every frame on the main
// actor (the toolkit's thread), in arrival order. The toolkit widget that shows
// the view installs its redraw request with setNeedsDisplayHandler().
class PreviewOutput : public platform::Actor,
                      public MediaMixerOutput,
                      public StreamOutput,
                      public std::enable_shared_from_this<PreviewOutput> {
 public:
  PreviewOutput(Key key, platform::Executor mainExecutor) : Actor(key, std::move(mainExecutor)) {}

  platform::Async<std::optional<std::uint8_t>> videoTrackId() override;
  platform::Async<std::optional<std::uint8_t>> audioTrackId() override;
  // Video takes the track (255: the mixed video); audio and other types change nothing.
  platform::Async<void> selectTrack(std::optional<std::uint8_t> trackId, platform::CMMediaType mediaType) override;

  void mixer(MediaMixer& mediaMixer, const platform::CMSampleBuffer& sampleBuffer) override;
  void mixer(MediaMixer&, const std::shared_ptr<platform::AVAudioPCMBuffer>&,
             const std::shared_ptr<platform::AVAudioTime>&) override {}
  void stream(StreamConvertible& stream, const platform::CMSampleBuffer& sampleBuffer) override;
  void stream(StreamConvertible&, const std::shared_ptr<platform::AVAudioBuffer>&,
              const std::shared_ptr<platform::AVAudioTime>&) override {}

  // Main actor only.
  void setNeedsDisplayHandler(std::function<void()> handler) { needsDisplay_ = std::move(handler); }

 protected:
  // Main actor: one video frame, in arrival order.
  virtual void show(const platform::CMSampleBuffer& sampleBuffer) = 0;
  void setNeedsDisplay() const {
    if (needsDisplay_) needsDisplay_();
  }

 private:
  void enqueueFrame(const platform::CMSampleBuffer& sampleBuffer);

  std::optional<std::uint8_t> videoTrackId_ = 255;
  std::optional<std::uint8_t> audioTrackId_;
  std::function<void()> needsDisplay_;
};

}  // namespace fluvio
