#include <type_traits>
#include <utility>

#include "Fluvio/Sources/Extension/CMFormatDescriptionExtension.hpp"
#include "Fluvio/Sources/View/PreviewOutput.hpp"
#include "Platform/AVFAudio/AVAudioCompressedBuffer.hpp"
#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/Concurrency/Continuation.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStream.hpp"
#include "RTMPFluvio/Sources/RTMP/CoroutineFrameWarning.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPFluvioLogger.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStreamMetadata.hpp"
#include "Tracepost/Sources/TPLogger.hpp"

namespace rtmpfluvio {

using fluvio::StreamReadyState;
using platform::Async;

Async<void> RTMPStream::setAudioSettings(fluvio::AudioCodecSettings settings) {
  return isolated([&self = *this, settings = std::move(settings)]() mutable -> Async<void> {
    if (settings.format == fluvio::AudioCodecFormat::pcm) throw Error(Error::Case::unsupportedCodec);
    self.outgoing_->setAudioSettings(std::move(settings));
    co_return;
  });
}

Async<void> RTMPStream::setVideoSettings(fluvio::VideoCodecSettings settings) {
  // Both video formats have an RTMP form.
  return isolated([&self = *this, settings = std::move(settings)]() mutable -> Async<void> {
    self.outgoing_->setVideoSettings(std::move(settings));
    co_return;
  });
}

Async<RTMPResponse> RTMPStream::publish(std::optional<std::string> name, HowToPublish type) {
  return isolated([this, name = std::move(name), type]() mutable { return publishBody(std::move(name), type); });
}

Async<RTMPResponse> RTMPStream::publishBody(std::optional<std::string> name, HowToPublish type) {
  if (!name) {
    if (readyState_.value() != StreamReadyState::publishing) throw Error(Error::Case::invalidState);
    auto closed = closeBody();
    co_return co_await std::move(closed);
  }
  if (readyState_.value() != StreamReadyState::idle) throw Error(Error::Case::invalidState);
  // A new publication: clocks from zero and fresh sequence headers.
  packager_.reset();
  std::optional<RTMPResponse> response;
  try {
    auto answer = request(Code::publishStart, StreamReadyState::publish, "publish",
                          {*name, std::string(rawValue(type))});
    response = co_await std::move(answer);
  } catch (...) {
    if (readyState_.value() == StreamReadyState::publish) readyState_.setValue(StreamReadyState::idle);
    throw;
  }
  info_.resourceName = *name;
  howToPublish_ = type;
  startedAt_ = std::chrono::steady_clock::now();
  dataTimestamp_.reset();
  metadata_ = makeMetadata(*outgoing_);
  readyState_.setValue(StreamReadyState::publishing);
  packager_.setPublishing(true);
  try {
    sendData("@setDataFrame", {"onMetaData", metadata_}, false);
  } catch (const std::exception& error) {
    TP_WARN(logger(), "metadata not sent: ", error.what());
  }
  outgoing_->startRunning();
  startMediaTasks();
  co_return std::move(*response);
}

namespace {

// Runs `handle` on the stream's strand for each element of `sequence`, until
// the sequence ends (the outgoing stream stopped) or the stream is gone. A
// handler that returns a coroutine is awaited before the next element.
template <class Element, class Handle>
void consume(platform::TaskGroup& tasks, std::weak_ptr<RTMPStream> weak, platform::AsyncStream<Element> sequence,
             Handle handle, std::string name) {
  tasks.spawn(
      [weak = std::move(weak), sequence = std::move(sequence), handle = std::move(handle)]() mutable -> Async<void> {
        while (true) {
          auto next = sequence.next();
          auto element = co_await std::move(next);
          const auto stream = weak.lock();
          if (!element || !stream) co_return;
          if constexpr (std::is_void_v<std::invoke_result_t<Handle&, RTMPStream&, Element>>) {
            handle(*stream, std::move(*element));
          } else {
            auto handled = handle(*stream, std::move(*element));
            co_await std::move(handled);
          }
        }
      },
      std::move(name));
}

}  // namespace

// One way: raw frames go from the input sequence to the encoder, encoded
// media from the output sequences to the packager; nothing goes back.
void RTMPStream::startMediaTasks() {
  consume(
      sendingTasks_, weak_from_this(), outgoing_->audioOutputStream(),
      [](RTMPStream& stream, fluvio::OutgoingStream::AudioOutput encoded) {
        const auto compressed = std::dynamic_pointer_cast<platform::AVAudioCompressedBuffer>(encoded.first);
        if (compressed && encoded.second) stream.sendEncodedAudio(compressed, *encoded.second);
      },
      "RTMPStream.audioOutput");
  consume(
      sendingTasks_, weak_from_this(), outgoing_->videoOutputStream(),
      [](RTMPStream& stream, const platform::CMSampleBuffer& encoded) { stream.sendEncodedVideo(encoded); },
      "RTMPStream.videoOutput");
  // Raw frames wait in the outgoing stream's bounded queue until the encoder
  // has room; meanwhile only this task waits, not the strand.
  consume(
      encodingTasks_, weak_from_this(), outgoing_->videoInputStream(),
      [](RTMPStream& stream, platform::CMSampleBuffer frame) { return stream.outgoing_->encodeVideo(std::move(frame)); },
      "RTMPStream.videoInput");
}

Async<fluvio::OutgoingStream::Drops> RTMPStream::outgoingDrops() {
  return isolated([this]() -> Async<fluvio::OutgoingStream::Drops> { co_return outgoing_->drops(); });
}

Async<void> RTMPStream::append(platform::CMSampleBuffer sampleBuffer) {
  return isolated(
      [this, sampleBuffer = std::move(sampleBuffer)]() mutable { return appendVideoBody(std::move(sampleBuffer)); });
}

Async<void> RTMPStream::append(std::shared_ptr<platform::AVAudioBuffer> audioBuffer,
                               std::shared_ptr<platform::AVAudioTime> when) {
  return isolated([this, audioBuffer = std::move(audioBuffer), when = std::move(when)]() mutable {
    return appendAudioBody(std::move(audioBuffer), std::move(when));
  });
}

Async<void> RTMPStream::appendVideoBody(platform::CMSampleBuffer sampleBuffer) {
  const auto& formatDescription = sampleBuffer.formatDescription();
  if (!formatDescription || formatDescription->mediaType() != platform::kCMMediaType_Video) co_return;
  if (fluvio::isCompressed(*formatDescription)) {
    sendEncodedVideo(sampleBuffer);
    co_return;
  }
  outgoing_->append(sampleBuffer);
  for (const auto& output : outputs_) {
    // A preview shows the picture whatever the server allows of samples.
    if (videoSampleAccess_ || dynamic_cast<const fluvio::PreviewOutput*>(output.get())) {
      output->stream(*this, sampleBuffer);
    }
  }
}

Async<void> RTMPStream::appendAudioBody(std::shared_ptr<platform::AVAudioBuffer> audioBuffer,
                                        std::shared_ptr<platform::AVAudioTime> when) {
  if (!audioBuffer || !when) co_return;
  if (auto compressed = std::dynamic_pointer_cast<platform::AVAudioCompressedBuffer>(audioBuffer)) {
    sendEncodedAudio(compressed, *when);
    co_return;
  }
  outgoing_->append(audioBuffer, when);
  if (!audioSampleAccess_ || !std::dynamic_pointer_cast<platform::AVAudioPCMBuffer>(audioBuffer)) co_return;
  for (const auto& output : outputs_) output->stream(*this, audioBuffer, when);
}

void RTMPStream::sendEncodedVideo(const platform::CMSampleBuffer& sampleBuffer) {
  sendQueue_.push(sampleBuffer);
  sendQueued();
}

void RTMPStream::sendEncodedAudio(const std::shared_ptr<platform::AVAudioCompressedBuffer>& audioBuffer,
                                  const platform::AVAudioTime& when) {
  sendQueue_.push(RTMPMediaSendQueue::Audio{audioBuffer, when});
  sendQueued();
}

void RTMPStream::sendQueued() {
  while (unwritten_ == 0) {
    auto media = sendQueue_.pop();
    if (!media) break;
    // Packaged only now: the clocks count from the last buffer sent, so a
    // gap left by dropped media shows in the next one's time.
    if (auto* frame = std::get_if<platform::CMSampleBuffer>(&*media)) {
      output(packager_.package(*frame));
    } else {
      const auto& audio = std::get<RTMPMediaSendQueue::Audio>(*media);
      output(packager_.package(audio.buffer, audio.when));
    }
  }
  if (unwritten_ == 0 && sendQueue_.empty() && sendQueueDrained_) {
    sendQueueDrained_->resume();
    sendQueueDrained_.reset();
  }
}

bool RTMPStream::output(RTMPMediaPackage package) {
  // The encoders' input formats, and so the media keys, become known after
  // the publication began; a reader takes the latest metadata before the media.
  if (package.sequenceHeader && readyState_.value() == StreamReadyState::publishing) {
    if (auto metadata = makeMetadata(*outgoing_); !(metadata == metadata_)) {
      metadata_ = std::move(metadata);
      sendData("@setDataFrame", {"onMetaData", metadata_}, false);
    }
  }
  output(std::move(package.sequenceHeader));
  const bool isFrame = package.body && std::holds_alternative<RTMPVideoMessage>(package.body->message);
  const auto notice = [weak = weak_from_this(), generation = deliveryGeneration_, isFrame](RTMPDelivery delivery) {
    if (const auto self = weak.lock()) {
      self->enqueue([self, generation, isFrame, delivery] { self->delivered(generation, isFrame, delivery); });
    }
  };
  if (!output(std::move(package.body), notice)) return false;
  ++unwritten_;
  if (isFrame) ++info_.videoFramesHandedOver;
  return true;
}

void RTMPStream::delivered(std::uint64_t generation, bool isFrame, RTMPDelivery delivery) {
  if (delivery == RTMPDelivery::acknowledged) {
    // It arrived, whatever became of the link since.
    if (isFrame) ++info_.videoFramesSent;
    return;
  }
  if (generation != deliveryGeneration_) return;
  --unwritten_;
  sendQueued();
}

Async<void> RTMPStream::finishSendQueue(std::chrono::steady_clock::duration limit) {
  if (unwritten_ > 0 || !sendQueue_.empty()) {
    try {
      co_await platform::withContinuation<void>(
          [this](platform::Continuation<void> drained) { sendQueueDrained_ = std::move(drained); }, limit);
    } catch (const platform::ContinuationError&) {
      // Out of time: what is left goes unsent.
    }
    sendQueueDrained_.reset();
  }
  info_.videoFramesAbandoned += static_cast<std::int64_t>(sendQueue_.clear());
  if (info_.videoFramesAbandoned > 0) {
    TP_WARN(logger(), info_.videoFramesAbandoned, " video frames were never sent: the network did not take them in time");
  }
  ++deliveryGeneration_;
  unwritten_ = 0;
}

void RTMPStream::mixer(fluvio::MediaMixer&, const platform::CMSampleBuffer& sampleBuffer) {
  // Posted in delivery order onto the stream's strand.
  platform::spawn(
      strand(), [self = shared_from_this(), sampleBuffer] { return self->appendVideoBody(sampleBuffer); },
      "RTMPStream.mixerVideo");
}

void RTMPStream::mixer(fluvio::MediaMixer&, const std::shared_ptr<platform::AVAudioPCMBuffer>& audioBuffer,
                       const std::shared_ptr<platform::AVAudioTime>& when) {
  platform::spawn(
      strand(), [self = shared_from_this(), audioBuffer, when] { return self->appendAudioBody(audioBuffer, when); },
      "RTMPStream.mixerAudio");
}

}  // namespace rtmpfluvio
