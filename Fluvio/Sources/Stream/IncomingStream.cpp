#include "Fluvio/Sources/Stream/IncomingStream.hpp"

#include <utility>

#include "Fluvio/Sources/Stream/AudioPlayer.hpp"
#include "Fluvio/Sources/Stream/AudioPlayerNode.hpp"
#include "Fluvio/Sources/Stream/StreamConvertible.hpp"
#include "Platform/Concurrency/Task.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"

namespace fluvio {

std::shared_ptr<IncomingStream> IncomingStream::make(std::weak_ptr<StreamConvertible> stream,
                                                     std::shared_ptr<platform::DisplayTickSource> tickSource) {
  return Actor::make<IncomingStream>(std::move(stream), std::move(tickSource));
}

IncomingStream::IncomingStream(Key key, std::weak_ptr<StreamConvertible> stream,
                               std::shared_ptr<platform::DisplayTickSource> tickSource)
    : AsyncRunner(key), mediaLink_(MediaLink::make(std::move(tickSource))), stream_(std::move(stream)) {}

platform::Async<bool> IncomingStream::isRunning() const {
  return isolated([this] { return isRunningBody(); });
}
platform::Async<void> IncomingStream::startRunning() {
  return isolated([this] { return startRunningBody(); });
}
platform::Async<void> IncomingStream::stopRunning() {
  return isolated([this] { return stopRunningBody(); });
}
platform::Async<void> IncomingStream::append(platform::CMSampleBuffer sampleBuffer) {
  return isolated(
      [this, sampleBuffer = std::move(sampleBuffer)]() mutable { return appendSampleBody(std::move(sampleBuffer)); });
}
platform::Async<void> IncomingStream::append(std::shared_ptr<platform::AVAudioBuffer> audioBuffer,
                                             std::shared_ptr<platform::AVAudioTime> when) {
  return isolated([this, audioBuffer = std::move(audioBuffer), when = std::move(when)]() mutable {
    return appendAudioBody(std::move(audioBuffer), std::move(when));
  });
}
platform::Async<std::optional<SoundTransform>> IncomingStream::soundTransform() const {
  return isolated([this] { return soundTransformBody(); });
}
platform::Async<void> IncomingStream::setSoundTransform(SoundTransform soundTransform) {
  return isolated([this, soundTransform] { return setSoundTransformBody(soundTransform); });
}
platform::Async<void> IncomingStream::attachAudioPlayer(std::shared_ptr<AudioPlayer> audioPlayer) {
  return isolated(
      [this, audioPlayer = std::move(audioPlayer)]() mutable { return attachAudioPlayerBody(std::move(audioPlayer)); });
}

platform::Async<bool> IncomingStream::isRunningBody() const { co_return isRunning_; }

platform::Async<void> IncomingStream::startRunningBody() {
  if (isRunning_) co_return;
  isRunning_ = true;
  const std::uint64_t run = ++run_;
  auto settings = audioCodec_->settings();
  settings.format = AudioCodecFormat::pcm;
  audioCodec_->setSettings(std::move(settings));
  videoCodec_->startRunning();
  audioCodec_->startRunning();
  // The codecs' sequences are taken now, so nothing decoded from here on is missed.
  auto [decodedVideo, videoContinuation] = DecodedVideo::makeStream(platform::BufferingPolicy::unbounded());
  videoCodec_->setContinuation(std::move(videoContinuation));
  auto decodedAudio = audioCodec_->outputStream();
  // The link runs before the first decoded frame reaches it, which it would ignore otherwise.
  co_await mediaLink_->startRunning();
  auto frames = co_await mediaLink_->frames();
  const auto node = audioPlayerNode_;
  if (node) co_await node->startRunning();
  // Awaited: a stop may have come meanwhile, and it stopped what was started here.
  if (run != run_) co_return;
  forwardDueFrames(std::move(frames));
  forwardDecodedVideo(std::move(decodedVideo));
  forwardDecodedAudio(std::move(decodedAudio), run);
}

platform::Async<void> IncomingStream::stopRunningBody() {
  if (!isRunning_) co_return;
  isRunning_ = false;
  const std::uint64_t run = ++run_;
  // Finishing their sequences ends the decoded-media tasks.
  videoCodec_->stopRunning();
  audioCodec_->stopRunning();
  // Finishing the frame sequence ends the due-frame task.
  co_await mediaLink_->stopRunning();
  if (run != run_) co_return;  // started again meanwhile
  if (const auto node = audioPlayerNode_) co_await node->stopRunning();
}

platform::Async<void> IncomingStream::appendSampleBody(platform::CMSampleBuffer sampleBuffer) {
  const auto& format = sampleBuffer.formatDescription();
  if (!format) co_return;
  if (format->mediaType() == platform::kCMMediaType_Audio) {
    audioCodec_->append(sampleBuffer);
  } else if (format->mediaType() == platform::kCMMediaType_Video) {
    // Returns once the link and then the decoder have room: a caller that
    // awaits each append is held back by either falling behind.
    auto linked = mediaLink_->room();
    co_await std::move(linked);
    auto decoding = videoCodec_->encode(std::move(sampleBuffer));
    co_await std::move(decoding);
  }
}

platform::Async<void> IncomingStream::appendAudioBody(std::shared_ptr<platform::AVAudioBuffer> audioBuffer,
                                                      std::shared_ptr<platform::AVAudioTime> when) {
  audioCodec_->append(audioBuffer, when);
  co_return;
}

platform::Async<std::optional<SoundTransform>> IncomingStream::soundTransformBody() const {
  const auto node = audioPlayerNode_;
  if (!node) co_return std::nullopt;
  co_return co_await node->soundTransform();
}

platform::Async<void> IncomingStream::setSoundTransformBody(SoundTransform soundTransform) {
  if (const auto node = audioPlayerNode_) co_await node->setSoundTransform(soundTransform);
}

platform::Async<void> IncomingStream::attachAudioPlayerBody(std::shared_ptr<AudioPlayer> audioPlayer) {
  // Taken away first, so no audio goes to a node that is being stopped.
  const auto previous = std::exchange(audioPlayerNode_, nullptr);
  const auto previousPlayer = std::exchange(audioPlayer_, {}).lock();
  if (previous) {
    co_await previous->stopRunning();
    if (previousPlayer) co_await previousPlayer->detach(previous);
  }
  std::shared_ptr<AudioPlayerNode> node;
  if (audioPlayer) {
    node = co_await audioPlayer->makePlayerNode();
    if (isRunning_) co_await node->startRunning();
  }
  audioPlayerNode_ = node;
  audioPlayer_ = audioPlayer;
  co_await mediaLink_->setAudioPlayer(node);
}

void IncomingStream::forwardDueFrames(MediaLink::Frames frames) {
  platform::spawn(
      strand(),
      [stream = stream_, frames = std::move(frames)]() -> platform::Async<void> {
        while (auto frame = co_await frames.next()) {
          if (const auto owner = stream.lock()) co_await owner->append(std::move(*frame));
        }
      },
      "IncomingStream.videoOut");
}

void IncomingStream::forwardDecodedVideo(DecodedVideo decoded) {
  platform::spawn(
      strand(),
      [mediaLink = mediaLink_, decoded = std::move(decoded)]() -> platform::Async<void> {
        while (auto frame = co_await decoded.next()) co_await mediaLink->enqueue(std::move(*frame));
      },
      "IncomingStream.videoIn");
}

void IncomingStream::forwardDecodedAudio(DecodedAudio decoded, std::uint64_t run) {
  platform::spawn(
      strand(),
      [weakSelf = weak_from_this(), decoded = std::move(decoded), run]() -> platform::Async<void> {
        co_await playAndForward(weakSelf, decoded, run);
      },
      "IncomingStream.audio");
}

platform::Async<void> IncomingStream::playAndForward(std::weak_ptr<IncomingStream> weakSelf, DecodedAudio decoded,
                                                     std::uint64_t run) {
  while (auto output = co_await decoded.next()) {
    // Holds this stream only while one buffer is handed on.
    const auto self = weakSelf.lock();
    if (!self) continue;
    // Audio decoded before a stop would connect the stopped node again.
    const auto node = self->run_ == run ? self->audioPlayerNode_ : nullptr;
    if (node) co_await node->enqueue(output->first);
    if (const auto owner = self->stream_.lock()) co_await owner->append(output->first, output->second);
  }
}

}  // namespace fluvio
