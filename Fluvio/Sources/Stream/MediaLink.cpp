#include "Fluvio/Sources/Stream/MediaLink.hpp"

#include <utility>

#include "Fluvio/Sources/Stream/AudioPlayerNode.hpp"
#include "Fluvio/Sources/Util/FluvioLogger.hpp"
#include "Platform/Concurrency/Task.hpp"
#include "Platform/CoreMedia/OSStatus.hpp"

namespace fluvio {

namespace {
// A tick that releases this many frames and still leaves one waiting means
// playback fell behind.
constexpr int kBurstReported = 3;
}  // namespace

std::shared_ptr<MediaLink> MediaLink::make(std::shared_ptr<platform::DisplayTickSource> tickSource) {
  return Actor::make<MediaLink>(std::move(tickSource));
}

MediaLink::MediaLink(Key key, std::shared_ptr<platform::DisplayTickSource> tickSource)
    : AsyncRunner(key), displayLink_(DisplayLinkChoreographer::make(std::move(tickSource))) {
  try {
    storage_ = std::make_unique<Storage>(capacity, platform::CMBufferQueue::Handlers::outputPTSSortedSampleBuffers());
  } catch (const platform::OSStatusError& error) {
    TP_ERROR(logger(), error.what());
  }
}

platform::Async<MediaLink::Frames> MediaLink::frames() {
  return isolated([this] { return framesBody(); });
}
platform::Async<void> MediaLink::enqueue(platform::CMSampleBuffer sampleBuffer) {
  return isolated(
      [this, sampleBuffer = std::move(sampleBuffer)]() mutable { return enqueueBody(std::move(sampleBuffer)); });
}
platform::Async<void> MediaLink::room() {
  return isolated([this] { return roomBody(); });
}
platform::Async<MediaLink::Drops> MediaLink::drops() const {
  return isolated([this]() -> platform::Async<Drops> {
    co_return Drops{refusedFrames_, unreadBefore_ + (continuation_ ? continuation_->droppedCount() : 0)};
  });
}
platform::Async<void> MediaLink::setAudioPlayer(std::weak_ptr<AudioPlayerNode> audioPlayer) {
  return isolated(
      [this, audioPlayer = std::move(audioPlayer)]() mutable { return setAudioPlayerBody(std::move(audioPlayer)); });
}
platform::Async<double> MediaLink::duration() const {
  return isolated([this] { return durationBody(); });
}
platform::Async<bool> MediaLink::isRunning() const {
  return isolated([this] { return isRunningBody(); });
}
platform::Async<void> MediaLink::startRunning() {
  return isolated([this] { return startRunningBody(); });
}
platform::Async<void> MediaLink::stopRunning() {
  return isolated([this] { return stopRunningBody(); });
}

platform::Async<MediaLink::Frames> MediaLink::framesBody() {
  auto [stream, continuation] = Frames::makeStream(platform::BufferingPolicy::bufferingNewest(dueFramesLimit));
  replaceContinuation(std::move(continuation));
  co_return std::move(stream);
}

platform::Async<void> MediaLink::enqueueBody(platform::CMSampleBuffer sampleBuffer) {
  if (!isRunning_ || !storage_) co_return;
  const platform::CMTime presentationTimeStamp = sampleBuffer.presentationTimeStamp();
  if (!presentationTimeStamp.isValid()) {
    TP_ERROR(logger(), "frame without a presentation time dropped");
    co_return;
  }
  if (!presentationTimeStampOrigin_.isValid()) presentationTimeStampOrigin_ = presentationTimeStamp;
  try {
    storage_->enqueue(std::make_shared<platform::CMSampleBuffer>(std::move(sampleBuffer)));
    ++queued_;
  } catch (const platform::OSStatusError& error) {
    // The last resort: a decoder fed past room() comes here only when it
    // emits more than the lead it was given.
    ++refusedFrames_;
    TP_ERROR(logger(), error.what());
  }
}

platform::Async<void> MediaLink::roomBody() {
  if (hasRoom()) co_return;
  auto waiting = platform::withContinuation<void>(
      [this](platform::Continuation<void> resume) { roomWaiters_.push_back(std::move(resume)); });
  co_await std::move(waiting);
}

void MediaLink::resumeRoomWaiters() {
  if (!hasRoom()) return;
  for (const auto& waiter : std::exchange(roomWaiters_, {})) waiter.resume();
}

platform::Async<void> MediaLink::setAudioPlayerBody(std::weak_ptr<AudioPlayerNode> audioPlayer) {
  audioPlayer_ = std::move(audioPlayer);
  co_return;
}

platform::Async<double> MediaLink::durationBody() const { co_return duration_; }

platform::Async<bool> MediaLink::isRunningBody() const { co_return isRunning_; }

platform::Async<void> MediaLink::startRunningBody() {
  if (isRunning_) co_return;
  isRunning_ = true;
  duration_ = 0;
  const std::uint64_t run = ++run_;
  // Taken before the link starts, so the first tick is not missed.
  auto ticks = displayLink_->updateFrames();
  displayLink_->startRunning();
  platform::spawn(
      strand(),
      [weakSelf = weak_from_this(), ticks = std::move(ticks), run]() mutable -> platform::Async<void> {
        co_await pace(std::move(weakSelf), std::move(ticks), run);
      },
      "MediaLink");
}

platform::Async<void> MediaLink::stopRunningBody() {
  if (!isRunning_) co_return;
  replaceContinuation(std::nullopt);
  displayLink_->stopRunning();
  presentationTimeStampOrigin_ = platform::CMTime::invalid;
  if (storage_) storage_->reset();
  queued_ = 0;
  isRunning_ = false;
  resumeRoomWaiters();
}

platform::Async<void> MediaLink::pace(std::weak_ptr<MediaLink> weakSelf, DisplayLinkChoreographer::UpdateFrames ticks,
                                      std::uint64_t run) {
  // Holds the link only while a tick is handled, so dropping it ends the loop.
  while (const auto time = co_await ticks.next()) {
    const auto self = weakSelf.lock();
    if (!self || self->run_ != run) co_return;
    co_await self->tick(*time, run);
  }
}

platform::Async<void> MediaLink::tick(DisplayLinkTime time, std::uint64_t run) {
  if (!storage_) co_return;
  const double delta = time.targetTimestamp - time.timestamp;
  const std::optional<double> audioTime = co_await audioPlaybackTime();
  // The node was awaited: a stop or a restart may have come meanwhile.
  if (run != run_) co_return;
  const double currentTime = audioTime.value_or(duration_);
  duration_ += delta;
  releaseFrames(currentTime);
}

platform::Async<std::optional<double>> MediaLink::audioPlaybackTime() const {
  const auto node = audioPlayer_.lock();
  if (!node || !co_await node->isPlaying()) co_return std::nullopt;
  co_return co_await node->currentTime();
}

void MediaLink::releaseFrames(double currentTime) {
  const double origin = presentationTimeStampOrigin_.seconds();
  int released = 0;
  while (const auto head = storage_->head()) {
    // Not a number is never due.
    if (!(head->presentationTimeStamp().seconds() - origin <= currentTime)) {
      if (released >= kBurstReported) TP_INFO(logger(), "droppedFrame: ", released);
      break;
    }
    const auto frame = storage_->dequeue();
    --queued_;
    // A frame due while nobody listens is discarded all the same.
    if (continuation_) continuation_->yield(std::move(*frame));
    ++released;
  }
  resumeRoomWaiters();
}

void MediaLink::replaceContinuation(std::optional<Frames::Continuation> next) {
  if (continuation_) {
    continuation_->finish();
    unreadBefore_ += continuation_->droppedCount();
  }
  continuation_ = std::move(next);
}

}  // namespace fluvio
