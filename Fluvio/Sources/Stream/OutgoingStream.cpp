#include "Fluvio/Sources/Stream/OutgoingStream.hpp"

#include <cstddef>
#include <utility>

namespace fluvio {

using platform::AsyncStream;
using platform::CMSampleBuffer;

namespace {

void finish(const std::optional<AsyncStream<CMSampleBuffer>::Continuation>& continuation) {
  if (continuation) continuation->finish();
}

std::uint64_t droppedCount(const std::optional<AsyncStream<CMSampleBuffer>::Continuation>& continuation) {
  return continuation ? continuation->droppedCount() : 0;
}

}  // namespace

AsyncStream<CMSampleBuffer> OutgoingStream::videoOutputStream() {
  auto [stream, continuation] =
      AsyncStream<CMSampleBuffer>::makeStream(platform::BufferingPolicy::bufferingOldest(videoOutputBufferCounts));
  // Frames the encoder still holds for the earlier consumer are dropped with
  // its sequence, which would otherwise never end.
  finish(videoCodec_->continuation());
  droppedBefore_.videoOutput += droppedCount(videoCodec_->continuation());
  videoCodec_->setContinuation(std::move(continuation));
  return stream;
}

AsyncStream<CMSampleBuffer> OutgoingStream::videoInputStream() {
  const auto policy = videoInputBufferCounts_ < 1
                          ? platform::BufferingPolicy::unbounded()
                          : platform::BufferingPolicy::bufferingNewest(static_cast<std::size_t>(videoInputBufferCounts_));
  auto [stream, continuation] = AsyncStream<CMSampleBuffer>::makeStream(policy);
  finishVideoInput();
  videoInputContinuation_ = std::move(continuation);
  return stream;
}

OutgoingStream::Drops OutgoingStream::drops() const {
  return {droppedBefore_.videoInput + droppedCount(videoInputContinuation_),
          droppedBefore_.videoOutput + droppedCount(videoCodec_->continuation()), audioCodec_->droppedOutputCount()};
}

void OutgoingStream::append(CMSampleBuffer sampleBuffer) {
  const auto& formatDescription = sampleBuffer.formatDescription();
  if (!formatDescription) return;
  switch (formatDescription->mediaType()) {
    case platform::kCMMediaType_Audio:
      audioInputFormat_ = formatDescription;
      audioCodec_->append(sampleBuffer);
      break;
    case platform::kCMMediaType_Video:
      videoInputFormat_ = formatDescription;
      if (videoInputContinuation_) videoInputContinuation_->yield(std::move(sampleBuffer));
      break;
    default:
      break;
  }
}

void OutgoingStream::append(const std::shared_ptr<platform::AVAudioBuffer>& audioBuffer,
                            const std::shared_ptr<platform::AVAudioTime>& when) {
  if (!audioBuffer || !when) return;
  audioInputFormat_ = audioBuffer->format()->formatDescription();
  audioCodec_->append(audioBuffer, when);
}

void OutgoingStream::startRunning() {
  if (isRunning_) return;
  videoCodec_->startRunning();
  audioCodec_->startRunning();
  isRunning_ = true;
}

void OutgoingStream::stopRunning() {
  if (!isRunning_) return;
  isRunning_ = false;
  videoCodec_->stopRunning();
  audioCodec_->stopRunning();
  finishVideoInput();
}

void OutgoingStream::finishVideoInput() {
  finish(videoInputContinuation_);
  droppedBefore_.videoInput += droppedCount(videoInputContinuation_);
  videoInputContinuation_.reset();
}

}  // namespace fluvio
