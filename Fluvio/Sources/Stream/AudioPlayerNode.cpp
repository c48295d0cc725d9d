#include "Fluvio/Sources/Stream/AudioPlayerNode.hpp"

#include <asio/post.hpp>

#include "Fluvio/Sources/Stream/AudioPlayer.hpp"

namespace fluvio {

namespace {

bool sameFormat(const std::shared_ptr<platform::AVAudioFormat>& lhs,
                const std::shared_ptr<platform::AVAudioFormat>& rhs) {
  return lhs == rhs || (lhs && rhs && *lhs == *rhs);
}

}  // namespace

platform::Async<double> AudioPlayerNode::currentTime() const {
  return isolated([this] { return currentTimeBody(); });
}

platform::Async<bool> AudioPlayerNode::isPlaying() const {
  return isolated([this] { return isPlayingBody(); });
}

platform::Async<SoundTransform> AudioPlayerNode::soundTransform() const {
  return isolated([this] { return soundTransformBody(); });
}

platform::Async<void> AudioPlayerNode::setSoundTransform(SoundTransform soundTransform) {
  return isolated([this, soundTransform] { return setSoundTransformBody(soundTransform); });
}

platform::Async<void> AudioPlayerNode::enqueue(std::shared_ptr<platform::AVAudioBuffer> audioBuffer) {
  return isolated(
      [this, audioBuffer = std::move(audioBuffer)]() mutable { return enqueueBody(std::move(audioBuffer)); });
}

platform::Async<bool> AudioPlayerNode::isRunning() const {
  return isolated([this] { return isRunningBody(); });
}

platform::Async<void> AudioPlayerNode::startRunning() {
  return isolated([this] { return startRunningBody(); });
}

platform::Async<void> AudioPlayerNode::stopRunning() {
  return isolated([this] { return stopRunningBody(); });
}

platform::Async<double> AudioPlayerNode::currentTimeBody() const {
  const auto renderTime = playerNode_->lastRenderTime();
  if (!renderTime) co_return 0.0;
  const auto playerTime = playerNode_->playerTime(*renderTime);
  if (!playerTime || !(playerTime->sampleRate() > 0)) co_return 0.0;
  co_return static_cast<double>(playerTime->sampleTime()) / playerTime->sampleRate();
}

platform::Async<bool> AudioPlayerNode::isPlayingBody() const { co_return playerNode_->isPlaying(); }

platform::Async<SoundTransform> AudioPlayerNode::soundTransformBody() const { co_return soundTransfrom_; }

platform::Async<void> AudioPlayerNode::setSoundTransformBody(SoundTransform soundTransform) {
  soundTransfrom_ = soundTransform;
  playerNode_->setVolume(soundTransform.volume);
  playerNode_->setPan(soundTransform.pan);
  co_return;
}

platform::Async<void> AudioPlayerNode::enqueueBody(std::shared_ptr<platform::AVAudioBuffer> audioBuffer) {
  if (!audioBuffer) co_return;
  const auto player = player_.lock();
  const auto format = audioBuffer->format();
  if (!sameFormat(format_, format)) {
    format_ = format;
    // The clock counts samples of one rate; the new format starts its own.
    audioTime_->reset();
    // Awaited, so that this buffer and those after it find the node connected.
    if (player) co_await player->connect(shared_from_this(), format);
  }
  auto pcmBuffer = std::dynamic_pointer_cast<platform::AVAudioPCMBuffer>(std::move(audioBuffer));
  if (!pcmBuffer || !player) co_return;
  if (!co_await player->isConnected(shared_from_this())) co_return;
  // A stop or another format meanwhile leaves this buffer behind.
  if (!sameFormat(format_, format)) co_return;
  if (!audioTime_->hasAnchor()) {
    auto renderTime = playerNode_->lastRenderTime();
    audioTime_->anchor(renderTime ? std::move(renderTime) : platform::AVAudioTime::make(std::uint64_t{0}));
  }
  ++scheduledAudioBuffers_;
  if (!playerNode_->isPlaying() && scheduledAudioBuffers_ >= buffersBeforePlayback) playerNode_->play();
  schedule(std::move(pcmBuffer));
}

void AudioPlayerNode::schedule(std::shared_ptr<platform::AVAudioPCMBuffer> buffer) {
  // Each buffer starts where the frames before it end.
  const auto start = audioTime_->at();
  audioTime_->advanced(buffer->frameLength());
  // Scheduled here rather than from a task per buffer, so they stay in order.
  playerNode_->scheduleBuffer(std::move(buffer), start, [weak = weak_from_this(), run = run_] {
    if (const auto self = weak.lock()) {
      asio::post(self->strand(), [self, run] { self->bufferConsumed(run); });
    }
  });
}

void AudioPlayerNode::bufferConsumed(std::uint64_t run) {
  if (run == run_) --scheduledAudioBuffers_;
}

platform::Async<bool> AudioPlayerNode::isRunningBody() const { co_return isRunning_; }

platform::Async<void> AudioPlayerNode::startRunningBody() {
  if (isRunning_) co_return;
  scheduledAudioBuffers_ = 0;
  ++run_;
  isRunning_ = true;
}

platform::Async<void> AudioPlayerNode::stopRunningBody() {
  if (!isRunning_) co_return;
  isRunning_ = false;
  // Also when not yet playing: buffers waiting for playback would otherwise
  // play after the next start.
  playerNode_->stop();
  audioTime_->reset();
  if (!format_) co_return;
  format_.reset();
  // Awaited, so that a start right after cannot be overtaken by this disconnect.
  if (const auto player = player_.lock()) co_await player->connect(shared_from_this(), nullptr);
}

}  // namespace fluvio
