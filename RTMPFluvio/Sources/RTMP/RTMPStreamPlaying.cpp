#include <utility>

#include "Platform/AVFAudio/AVAudioCompressedBuffer.hpp"
#include "RTMPFluvio/Sources/RTMP/CoroutineFrameWarning.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPFluvioLogger.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPPeerLogLimit.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPPeerText.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStream.hpp"
#include "Tracepost/Sources/TPLogger.hpp"

namespace rtmpfluvio {

using fluvio::StreamReadyState;
using platform::Async;

namespace {

// Room for one received packet a channel; a larger one is refused.
constexpr std::uint32_t kPacketBytesPerChannel = 1024;

double seconds(const RTMPMessage& message) { return message.timestamp() / 1000.0; }

}  // namespace

Async<RTMPResponse> RTMPStream::play(AMFList arguments) {
  return isolated([this, arguments = std::move(arguments)]() mutable { return playBody(std::move(arguments)); });
}

Async<RTMPResponse> RTMPStream::playBody(AMFList arguments) {
  const std::string* name = arguments.empty() ? nullptr : arguments.front().as<std::string>();
  if (!name) {
    if (readyState_.value() != StreamReadyState::playing) throw Error(Error::Case::invalidState);
    info_.resourceName.reset();
    auto closed = closeBody();
    co_return co_await std::move(closed);
  }
  if (readyState_.value() != StreamReadyState::idle) throw Error(Error::Case::invalidState);
  const std::string resourceName = *name;
  audioFormat_.reset();
  videoFormat_.reset();
  platform::spawn(strand(), [incoming = incoming()]() -> Async<void> { co_await incoming->startRunning(); },
                  "RTMPStream.startIncoming");
  std::optional<RTMPResponse> response;
  try {
    auto answer = request(Code::playStart, StreamReadyState::play, "play", std::move(arguments));
    response = co_await std::move(answer);
  } catch (...) {
    stopIncoming();
    outgoing_->stopRunning();
    if (readyState_.value() == StreamReadyState::play) readyState_.setValue(StreamReadyState::idle);
    throw;
  }
  startedAt_ = std::chrono::steady_clock::now();
  dataTimestamp_.reset();
  readyState_.setValue(StreamReadyState::playing);
  info_.resourceName = resourceName;
  co_return std::move(*response);
}

Async<void> RTMPStream::seek(double offset) {
  return isolated([this, offset] { return sendWhilePlaying("seek", {offset}); });
}

Async<void> RTMPStream::receiveAudio(bool flag) {
  return isolated([this, flag] { return sendWhilePlaying("receiveAudio", {flag}); });
}

Async<void> RTMPStream::receiveVideo(bool flag) {
  return isolated([this, flag] { return sendWhilePlaying("receiveVideo", {flag}); });
}

Async<void> RTMPStream::sendWhilePlaying(std::string commandName, AMFList arguments) {
  if (readyState_.value() != StreamReadyState::playing) throw Error(Error::Case::invalidState);
  sendCommand(std::move(commandName), std::move(arguments));
  co_return;
}

Async<RTMPResponse> RTMPStream::pause(bool paused) {
  return isolated([this, paused] { return pauseBody(paused); });
}

Async<RTMPResponse> RTMPStream::togglePause() {
  return isolated([this] { return pauseBody(std::nullopt); });
}

Async<RTMPResponse> RTMPStream::pauseBody(std::optional<bool> requested) {
  if (readyState_.value() != StreamReadyState::playing) throw Error(Error::Case::invalidState);
  const bool paused = requested.value_or(!isPaused_);
  // The answer names the state asked for.
  auto answer = request(paused ? Code::pauseNotify : Code::unpauseNotify, StreamReadyState::playing, "pause",
                        {paused, static_cast<double>(elapsedMilliseconds(startedAt_))});
  auto response = co_await std::move(answer);
  isPaused_ = paused;
  co_return response;
}

Async<void> RTMPStream::dispatch(RTMPReceivedMessage message, RTMPChunkType type) {
  return isolated([&self = *this, message = std::move(message), type]() -> Async<void> {
    self.handle(message, type);
    co_return;
  });
}

void RTMPStream::handle(const RTMPReceivedMessage& message, RTMPChunkType, RTMPReceiveBacklog::Hold hold) {
  info_.byteCount += static_cast<std::int64_t>(asMessage(message).payload().size());
  if (const auto* command = std::get_if<RTMPCommandMessage>(&message)) {
    if (command->commandName() != "onStatus") {
      static RTMPPeerLogLimit limit;
      if (const auto admission = limit.admit()) {
        TP_INFO(logger(), admission.summary(), "dispatch(_:type:) ", peerText(command->commandName()));
      }
      return;
    }
    const RTMPResponse response(*command);
    command_.resolve(response, [&] { return std::make_exception_ptr(Error(Error::Case::requestFailed, response)); });
    if (response.status()) yieldStatus(*response.status());
  } else if (const auto* audio = std::get_if<RTMPAudioMessage>(&message)) {
    didReceiveAudio(*audio, std::move(hold));
  } else if (const auto* video = std::get_if<RTMPVideoMessage>(&message)) {
    didReceiveVideo(*video, std::move(hold));
  } else if (const auto* data = std::get_if<RTMPDataMessage>(&message)) {
    const auto& arguments = data->arguments();
    const auto flag = [&](std::size_t index) {
      const bool* value = index < arguments.size() ? arguments[index].as<bool>() : nullptr;
      return value ? *value : true;
    };
    if (data->handlerName() == "onMetaData") {
      const AMFArray* received = arguments.empty() ? nullptr : arguments.front().as<AMFArray>();
      metadata_ = received ? *received : AMFArray();
    } else if (data->handlerName() == "|RtmpSampleAccess") {
      audioSampleAccess_ = flag(0);
      videoSampleAccess_ = flag(1);
    }
  }
}

Async<void> RTMPStream::dispatch(RTMPUserControlMessage::Event event) {
  return isolated([&self = *this, event]() -> Async<void> {
    self.handle(event);
    co_return;
  });
}

void RTMPStream::handle(RTMPUserControlMessage::Event event) {
  // The event type and the stream id.
  info_.byteCount += 6;
  if (event == RTMPUserControlMessage::Event::bufferEmpty) yieldStatus(RTMPStatus(std::string(rawValue(Code::bufferEmpty)), "status"));
  if (event == RTMPUserControlMessage::Event::bufferFull) yieldStatus(RTMPStatus(std::string(rawValue(Code::bufferFull)), "status"));
}

void RTMPStream::didReceiveAudio(const RTMPAudioMessage& message, RTMPReceiveBacklog::Hold hold) {
  if (message.payload().size() < 2 || !message.isSupportedCodec()) return;
  const auto packetType = message.packetType();
  if (packetType == flv::AudioPacketType::sequenceStart) {
    audioFormat_ = message.makeAudioFormat();
    return;
  }
  if (packetType != flv::AudioPacketType::codedFrames) return;
  if (!audioFormat_) audioFormat_ = message.makeAudioFormat();
  // Media may follow "NetStream.Play.Start" before the play request has
  // resumed to mark the stream playing; it belongs to this play all the same.
  const auto state = readyState_.value();
  if (!audioFormat_ || (state != StreamReadyState::playing && state != StreamReadyState::play)) return;
  // A buffer of its own for every packet: the decoder may still hold the last one.
  auto buffer = platform::AVAudioCompressedBuffer::make(audioFormat_, 1,
                                                        audioFormat_->channelCount() * kPacketBytesPerChannel);
  if (!buffer || !message.copyPayload(buffer.get())) return;
  const auto when = platform::AVAudioTime::make(platform::AVAudioTime::hostTime(seconds(message)));
  feedIncoming({std::nullopt, std::move(buffer), when, std::move(hold)});
}

void RTMPStream::didReceiveVideo(const RTMPVideoMessage& message, RTMPReceiveBacklog::Hold hold) {
  const auto& payload = message.payload();
  if (payload.size() < 5 || !message.isSupportedCodec()) return;
  const bool isEnhanced = (payload[0] & flv::kEnhancedVideoBit) != 0;
  const std::uint8_t packetType = isEnhanced ? (payload[0] & 0x0F) : payload[1];
  const bool isHeader = packetType == 0;
  const bool isFrame = isEnhanced ? (packetType == 1 || packetType == 3) : packetType == 1;
  if (isHeader) {
    videoFormat_ = message.makeFormatDescription();
    return;
  }
  if (!isFrame || !videoFormat_) return;
  auto sampleBuffer = message.makeSampleBuffer(platform::CMTime::make(message.timestamp(), 1000), videoFormat_);
  if (!sampleBuffer) return;
  feedIncoming({std::move(*sampleBuffer), nullptr, nullptr, std::move(hold)});
}

void RTMPStream::feedIncoming(ReceivedMedia media) {
  receivedMedia_.push_back(std::move(media));
  if (std::exchange(feedingIncoming_, true)) return;
  platform::spawn(strand(), [self = shared_from_this()] { return self->feedIncomingInOrder(); },
                  "RTMPStream.feedIncoming");
}

Async<void> RTMPStream::feedIncomingInOrder() {
  // A stop empties the queue, and ends a wait for the decoder: the task ends.
  while (!receivedMedia_.empty()) {
    const auto media = std::move(receivedMedia_.front());
    receivedMedia_.pop_front();
    auto appended = media.video ? incoming()->append(*media.video) : incoming()->append(media.audio, media.when);
    try {
      co_await std::move(appended);
    } catch (const std::exception& error) {
      TP_WARN(logger(), "received media not decoded: ", error.what());
    }
  }
  feedingIncoming_ = false;
}

}  // namespace rtmpfluvio
