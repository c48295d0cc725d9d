#include "Fluvio/Sources/View/PreviewOutput.hpp"

namespace fluvio {

using namespace platform;

Async<std::optional<std::uint8_t>> PreviewOutput::videoTrackId() {
  return isolated(
      [self = shared_from_this()]() -> Async<std::optional<std::uint8_t>> { co_return self->videoTrackId_; });
}

Async<std::optional<std::uint8_t>> PreviewOutput::audioTrackId() {
  return isolated(
      [self = shared_from_this()]() -> Async<std::optional<std::uint8_t>> { co_return self->audioTrackId_; });
}

Async<void> PreviewOutput::selectTrack(std::optional<std::uint8_t> trackId, CMMediaType mediaType) {
  return isolated([self = shared_from_this(), id = trackId, type = mediaType]() -> Async<void> {
    if (type == kCMMediaType_Video) self->videoTrackId_ = id;
    co_return;
  });
}

void PreviewOutput::mixer(MediaMixer&, const CMSampleBuffer& sampleBuffer) { enqueueFrame(sampleBuffer); }

void PreviewOutput::stream(StreamConvertible&, const CMSampleBuffer& sampleBuffer) { enqueueFrame(sampleBuffer); }

void PreviewOutput::enqueueFrame(const CMSampleBuffer& sampleBuffer) {
  enqueue([self = shared_from_this(), sampleBuffer] { self->show(sampleBuffer); });
}

}  // namespace fluvio
