#include "RTMPFluvio/Sources/RTMP/RTMPStream.hpp"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/experimental/awaitable_operators.hpp>
#include <asio/post.hpp>
#include <asio/use_awaitable.hpp>
#include <cmath>
#include <limits>
#include <utility>

#include "Platform/Concurrency/Sleep.hpp"
#include "RTMPFluvio/Sources/RTMP/CoroutineFrameWarning.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPFluvioLogger.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStatusDescription.hpp"
#include "Tracepost/Sources/TPLogger.hpp"

namespace rtmpfluvio {

using fluvio::StreamReadyState;
using platform::Async;

namespace {

constexpr std::chrono::milliseconds kRequestTimeoutAlone{3000};

std::string caseText(RTMPStream::Error::Case errorCase) {
  using Case = RTMPStream::Error::Case;
  switch (errorCase) {
    case Case::requestFailed:
      return "RTMPStream.Error.requestFailed";
    case Case::invalidState:
      return "RTMPStream.Error.invalidState";
    case Case::requestTimedOut:
      return "RTMPStream.Error.requestTimedOut";
    case Case::unsupportedCodec:
      break;
  }
  return "RTMPStream.Error.unsupportedCodec";
}

}  // namespace

RTMPStream::Error::Error(Case errorCase, std::optional<RTMPResponse> response)
    : case_(errorCase), response_(std::move(response)), text_(caseText(errorCase)) {
  if (response_ && response_->status()) text_ += ": " + describeRefusal(*response_->status());
}

std::string_view rawValue(RTMPStream::HowToPublish type) noexcept {
  switch (type) {
    case RTMPStream::HowToPublish::record:
      return "record";
    case RTMPStream::HowToPublish::append:
      return "append";
    case RTMPStream::HowToPublish::appendWithGap:
      return "appendWithGap";
    case RTMPStream::HowToPublish::live:
      break;
  }
  return "live";
}

std::optional<RTMPStream::HowToPublish> howToPublishFromRawValue(std::string_view rawValue) noexcept {
  using HowToPublish = RTMPStream::HowToPublish;
  for (const auto type : {HowToPublish::record, HowToPublish::append, HowToPublish::appendWithGap, HowToPublish::live}) {
    if (rtmpfluvio::rawValue(type) == rawValue) return type;
  }
  return std::nullopt;
}

std::shared_ptr<RTMPStream> RTMPStream::make(const std::shared_ptr<RTMPStreamTransport>& connection,
                                             std::optional<std::string> fcPublishName) {
  auto stream = Actor::make<RTMPStream>(std::move(fcPublishName));
  stream->start(connection);
  return stream;
}

RTMPStream::RTMPStream(Key key, std::optional<std::string> fcPublishName)
    : Stream_(key), fcPublishName_(std::move(fcPublishName)) {
  // A backlog that drops video past its last key frame asks the encoder for
  // the next one at once (an idle one, for video appended encoded, ignores it).
  sendQueue_.setKeyFrameRequest([outgoing = outgoing_] { outgoing->requestKeyFrame(); });
}

RTMPStream::~RTMPStream() { outputs_.clear(); }

void RTMPStream::start(const std::shared_ptr<RTMPStreamTransport>& connection) {
  connection_ = connection;
  // Registered before anything else can run on the strand; set up on the
  // server at once when the connection is up.
  platform::spawn(
      strand(),
      [self = shared_from_this()]() -> Async<void> {
        const auto connection = self->connection_.lock();
        if (!connection) co_return;
        auto added = connection->addStream(self);
        const bool connected = co_await std::move(added);
        if (connected) co_await self->createStreamBody();
      },
      "RTMPStream.register");
}

void RTMPStream::setId(std::uint32_t id) {
  id_.store(id, std::memory_order_release);
  packager_.setStreamId(id);
}

std::uint32_t RTMPStream::elapsedMilliseconds(std::chrono::steady_clock::time_point since) {
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count();
  if (elapsed <= 0) return 0;
  if (elapsed >= std::numeric_limits<std::uint32_t>::max()) return std::numeric_limits<std::uint32_t>::max();
  return static_cast<std::uint32_t>(elapsed);
}

// Accessors.

Async<std::uint32_t> RTMPStream::id() {
  return isolated([&self = *this]() -> Async<std::uint32_t> { co_return self.id_.load(); });
}

Async<RTMPStreamInfo> RTMPStream::info() {
  return isolated([&self = *this]() -> Async<RTMPStreamInfo> {
    auto info = self.info_;
    info.videoFramesDroppedForBacklog = static_cast<std::int64_t>(self.sendQueue_.drops().videoFrames);
    info.audioBuffersDroppedForBacklog = static_cast<std::int64_t>(self.sendQueue_.drops().audioBuffers);
    co_return info;
  });
}

Async<AMFArray> RTMPStream::metadata() {
  return isolated([&self = *this]() -> Async<AMFArray> { co_return self.metadata_; });
}

Async<std::uint16_t> RTMPStream::currentFPS() {
  return isolated([&self = *this]() -> Async<std::uint16_t> { co_return self.currentFPS_.value(); });
}

Async<platform::AsyncStream<std::uint16_t>> RTMPStream::currentFPSPublisher() {
  return isolated([&self = *this]() -> Async<platform::AsyncStream<std::uint16_t>> {
    co_return self.currentFPS_.subscribe();
  });
}

Async<platform::AsyncStream<StreamReadyState>> RTMPStream::readyStatePublisher() {
  return isolated([&self = *this]() -> Async<platform::AsyncStream<StreamReadyState>> {
    co_return self.readyState_.subscribe();
  });
}

Async<bool> RTMPStream::isPaused() {
  return isolated([&self = *this]() -> Async<bool> { co_return self.isPaused_; });
}

Async<StreamReadyState> RTMPStream::readyState() {
  return isolated([&self = *this]() -> Async<StreamReadyState> { co_return self.readyState_.value(); });
}

Async<std::optional<std::uint8_t>> RTMPStream::videoTrackId() {
  return isolated([&self = *this]() -> Async<std::optional<std::uint8_t>> { co_return self.videoTrackId_; });
}

Async<std::optional<std::uint8_t>> RTMPStream::audioTrackId() {
  return isolated([&self = *this]() -> Async<std::optional<std::uint8_t>> { co_return self.audioTrackId_; });
}

Async<void> RTMPStream::selectTrack(std::optional<std::uint8_t> trackId, platform::CMMediaType mediaType) {
  return isolated([&self = *this, id = trackId, type = mediaType]() -> Async<void> {
    if (type == platform::kCMMediaType_Audio) self.audioTrackId_ = id;
    if (type == platform::kCMMediaType_Video) self.videoTrackId_ = id;
    co_return;
  });
}

Async<platform::AsyncStream<RTMPStatus>> RTMPStream::status() {
  auto replaced = isolated([&self = *this]() -> Async<std::optional<platform::AsyncStream<RTMPStatus>>> {
    auto [stream, continuation] = platform::AsyncStream<RTMPStatus>::makeStream();
    if (self.statusContinuation_) self.statusContinuation_->finish();
    self.statusContinuation_ = std::move(continuation);
    co_return std::move(stream);
  });
  co_return std::move(*co_await std::move(replaced));
}

std::shared_ptr<fluvio::IncomingStream> RTMPStream::incoming() const {
  if (!incoming_) {
    incoming_ = fluvio::IncomingStream::make(std::const_pointer_cast<RTMPStream>(shared_from_this()));
  }
  return incoming_;
}

// Server-side set-up.

Async<void> RTMPStream::createStream() {
  return isolated([this] { return createStreamBody(); });
}

Async<void> RTMPStream::createStreamBody() {
  // Once per connection: not while one is asked for or an id is held.
  if (isCreating_ || id_ != 0) co_return;
  isCreating_ = true;
  // The announcements' answers are not awaited (some servers never send
  // them); each starts on the strand in turn, so they leave before the
  // request for the stream.
  if (fcPublishName_) {
    startCall("releaseStream", {*fcPublishName_});
    startCall("FCPublish", {*fcPublishName_});
  }
  std::optional<RTMPResponse> response;
  try {
    auto asked = asio::co_spawn(strand(), callConnection("createStream", {}), asio::use_awaitable);
    response = co_await std::move(asked);
  } catch (const std::exception& error) {
    TP_ERROR(logger(), "createStream() ", error.what());
  }
  isCreating_ = false;
  if (!response || response->arguments().empty()) co_return;
  const double* number = response->arguments().front().as<double>();
  if (!number || !std::isfinite(*number) || *number < 0 || *number > std::numeric_limits<std::uint32_t>::max()) {
    TP_ERROR(logger(), "createStream() answered without a usable stream id");
    co_return;
  }
  setId(static_cast<std::uint32_t>(*number));
  readyState_.setValue(StreamReadyState::idle);
}

void RTMPStream::startCall(std::string commandName, AMFList arguments) {
  asio::co_spawn(
      strand(),
      [self = shared_from_this(), commandName = std::move(commandName), arguments = std::move(arguments)]() mutable {
        return self->callConnection(std::move(commandName), std::move(arguments));
      },
      asio::detached);
}

Async<void> RTMPStream::awaitAnswer(std::string commandName, AMFList arguments) {
  try {
    co_await callConnection(std::move(commandName), std::move(arguments));
  } catch (const std::exception& error) {
    TP_DEBUG(logger(), "close: ", error.what());
  }
}

Async<std::optional<RTMPResponse>> RTMPStream::callConnection(std::string commandName, AMFList arguments) {
  const auto connection = connection_.lock();
  if (!connection) co_return std::nullopt;
  auto call = connection->call(std::move(commandName), std::move(arguments));
  co_return co_await std::move(call);
}

Async<void> RTMPStream::connectionWillClose() {
  return isolated([this] { return connectionWillCloseBody(); });
}

Async<void> RTMPStream::connectionWillCloseBody() {
  const auto state = readyState_.value();
  co_await finishOutgoing();
  stopIncoming();
  command_.cancel(std::make_exception_ptr(Error(Error::Case::invalidState)));
  readyState_.setValue(StreamReadyState::idle);
  if (fcPublishName_ && state == StreamReadyState::publishing) {
    // Both go out at once and the link stays until both are answered, each
    // within the connection's request time-out; when the link is already
    // gone, each fails at once.
    using namespace asio::experimental::awaitable_operators;
    auto unpublished = awaitAnswer("FCUnpublish", AMFList{*fcPublishName_});
    auto deleted = awaitAnswer("deleteStream", AMFList{id_.load()});
    co_await (std::move(unpublished) && std::move(deleted));
  } else if (state == StreamReadyState::playing || state == StreamReadyState::publishing) {
    sendCommand("closeStream", {});
  }
  setId(0);
}

// Commands.

bool RTMPStream::output(RTMPChunkType chunkType, RTMPChunkStreamId chunkStreamId, RTMPStreamMessage message,
                        DeliveryNotice delivered) {
  const auto connection = connection_.lock();
  if (!connection) return false;
  info_.byteCount += static_cast<std::int64_t>(
      std::visit([](const auto& sent) { return sent.payload().size(); }, message));
  connection->output(chunkType, chunkStreamId, std::move(message), std::move(delivered));
  return true;
}

bool RTMPStream::output(std::optional<RTMPOutgoingMedia> media, DeliveryNotice delivered) {
  if (!media) return false;
  return std::visit(
      [&](auto& message) {
        return output(media->chunkType, media->chunkStreamId, std::move(message), std::move(delivered));
      },
      media->message);
}

void RTMPStream::sendCommand(std::string commandName, AMFList arguments) {
  try {
    output(RTMPChunkType::zero, RTMPChunkStreamId::command,
           RTMPCommandMessage(id_, 0, objectEncoding_, std::move(commandName), 0, std::nullopt, std::move(arguments)));
  } catch (const std::exception& error) {
    TP_ERROR(logger(), "command not sent: ", error.what());
  }
}

Async<RTMPResponse> RTMPStream::request(RTMPStreamCode expected, StreamReadyState state, std::string commandName,
                                       AMFList arguments) {
  // Without a connection nothing is sent; the command still ends in time.
  const auto connection = connection_.lock();
  auto timeout = connection ? connection->waitForRequestTimeout() : platform::sleepFor(kRequestTimeoutAlone);
  auto answer = command_.wait(
      expected, std::move(timeout),
      [&] {
        readyState_.setValue(state);
        sendCommand(std::move(commandName), std::move(arguments));
      },
      std::make_exception_ptr(Error(Error::Case::invalidState)),
      std::make_exception_ptr(Error(Error::Case::requestTimedOut)));
  co_return co_await std::move(answer);
}

Async<RTMPResponse> RTMPStream::close() {
  return isolated([this] { return closeBody(); });
}

Async<RTMPResponse> RTMPStream::closeBody() {
  const auto state = readyState_.value();
  if (state != StreamReadyState::playing && state != StreamReadyState::publishing) throw Error(Error::Case::invalidState);
  const auto expected = state == StreamReadyState::playing ? Code::playStop : Code::unpublishSuccess;
  co_await finishOutgoing();
  stopIncoming();
  auto answer = request(expected, StreamReadyState::idle, "closeStream", {});
  co_return co_await std::move(answer);
}

namespace {

constexpr auto kOutgoingDrainLimit = std::chrono::seconds(2);

// Lets `tasks` end by themselves for up to `limit`, then cancels the rest.
Async<void> drain(platform::TaskGroup& tasks, std::chrono::steady_clock::duration limit) {
  using namespace asio::experimental::awaitable_operators;
  co_await (tasks.wait() || platform::sleepFor(limit));
  co_await tasks.cancelAll();
}

}  // namespace

Async<void> RTMPStream::finishOutgoing() {
  outgoing_->finishVideoInput();
  co_await drain(encodingTasks_, kOutgoingDrainLimit);
  // Stopping flushes the encoders, then ends their output sequences.
  outgoing_->stopRunning();
  co_await drain(sendingTasks_, kOutgoingDrainLimit);
  co_await finishSendQueue(kOutgoingDrainLimit);
  packager_.setPublishing(false);
}

void RTMPStream::stopIncoming() {
  // Undecoded media of this play goes, and with it its holds on the connection's reading.
  receivedMedia_.clear();
  if (!incoming_) return;
  platform::spawn(strand(), [incoming = incoming_]() -> Async<void> { co_await incoming->stopRunning(); },
                  "RTMPStream.stopIncoming");
}

Async<void> RTMPStream::send(std::string handlerName, AMFList arguments, bool isResetTimestamp) {
  return isolated(
      [this, handlerName = std::move(handlerName), arguments = std::move(arguments), isResetTimestamp]() mutable {
        return sendBody(std::move(handlerName), std::move(arguments), isResetTimestamp);
      });
}

Async<void> RTMPStream::sendBody(std::string handlerName, AMFList arguments, bool isResetTimestamp) {
  if (readyState_.value() != StreamReadyState::publishing) throw Error(Error::Case::invalidState);
  sendData(std::move(handlerName), std::move(arguments), isResetTimestamp);
  co_return;
}

void RTMPStream::sendData(std::string handlerName, AMFList arguments, bool isResetTimestamp) {
  if (isResetTimestamp) dataTimestamp_.reset();
  // The data chunk stream carries one time line: a whole header gives the
  // time since the publication began, a delta header the time since the
  // previous data message.
  const auto chunkType = dataTimestamp_ ? RTMPChunkType::one : RTMPChunkType::zero;
  const auto timestamp = elapsedMilliseconds(dataTimestamp_ ? *dataTimestamp_ : startedAt_);
  RTMPDataMessage message(id_, timestamp, objectEncoding_, std::move(handlerName), std::move(arguments));
  output(chunkType, RTMPChunkStreamId::data, std::move(message));
  dataTimestamp_ = std::chrono::steady_clock::now();
}

// Network reports.

Async<void> RTMPStream::dispatch(fluvio::NetworkMonitorEvent event) {
  return isolated([this, event] { return dispatchNetworkBody(event); });
}

void RTMPStream::didReceive(const RTMPReceivedMessage& message, RTMPChunkType type, RTMPReceiveBacklog::Hold hold) {
  enqueue([this, message, type, hold = std::move(hold)]() mutable { handle(message, type, std::move(hold)); });
}

void RTMPStream::didReceive(const RTMPUserControlMessage& message) {
  enqueue([this, event = message.event()] { handle(event); });
}

void RTMPStream::didReceive(const fluvio::NetworkMonitorEvent& event) {
  platform::spawn(
      strand(), [self = shared_from_this(), event] { return self->dispatchNetworkBody(event); }, "RTMPStream.network");
}

Async<void> RTMPStream::dispatchNetworkBody(fluvio::NetworkMonitorEvent event) {
  if (auto strategy = bitRateStrategy_) {
    auto adjusted = strategy->adjustBitrate(event, shared_from_this());
    co_await std::move(adjusted);
  }
  currentFPS_.setValue(packager_.takeFrameCount());
  info_.sample();
}

void RTMPStream::yieldStatus(const RTMPStatus& status) {
  if (statusContinuation_) statusContinuation_->yield(status);
}

}  // namespace rtmpfluvio
