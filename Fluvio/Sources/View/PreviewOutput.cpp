#include "Fluvio/Sources/View/PreviewOutput.hpp"

namespace fluvio {

using namespace platform;

Async<std::optional<std::uint8_t>> PreviewOutput::videoTrackId() {
  return isolated([](auto self) -> Async<std::optional<std::uint8_t>> {
    co_return self->videoTrackId_;
  }(shared_from_this()));
}

Async<std::optional<std::uint8_t>> PreviewOutput::audioTrackId() {
  return isolated([](auto self) -> Async<std::optional<std::uint8_t>> {
    co_return self->audioTrackId_;
  }(shared_from_this()));
}

Async<void> PreviewOutput::selectTrack(std::optional<std::uint8_t> trackId, CMMediaType mediaType) {
  return isolated([](auto self, std::optional<std::uint8_t> id, CMMediaType type) -> Async<void> {
    if (type == kCMMediaType_Video) self->videoTrackId_ = id;
    co_return;
  }(shared_from_this(), trackId, mediaType));
}

void PreviewOutput::mixer(MediaMixer&, const CMSampleBuffer& sampleBuffer) { enqueueFrame(sampleBuffer); }

void PreviewOutput::stream(StreamConvertible&, const CMSampleBuffer& sampleBuffer) { enqueueFrame(sampleBuffer); }

void PreviewOutput::enqueueFrame(const CMSampleBuffer& sampleBuffer) {
  enqueue([self = shared_from_this(), sampleBuffer] { self->show(sampleBuffer); });
}

}  // namespace fluvio
