#include "RTMPFluvio/Sources/RTMP/RTMPConnection.hpp"

#include "Platform/Concurrency/ContinuationError.hpp"
#include "Platform/Concurrency/Sleep.hpp"
#include "Platform/Concurrency/Task.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkError.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnectionListener.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPFluvioLogger.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPPeerText.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPSharedObject.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStatusDescription.hpp"
#include "RTMPFluvio/Sources/RTMP/URLCredentials.hpp"

namespace rtmpfluvio {
namespace {

constexpr std::int64_t kConnectTransactionId = 1;

const char* caseText(RTMPConnection::Error::Case errorCase) {
  using Case = RTMPConnection::Error::Case;
  switch (errorCase) {
    case Case::unsupportedCommand: return "unsupportedCommand";
    case Case::socketErrorOccurred: return "socketErrorOccurred";
    case Case::requestFailed: return "requestFailed";
    case Case::invalidState: return "invalidState";
    case Case::connectionTimedOut: return "connectionTimedOut";
    case Case::requestTimedOut: return "requestTimedOut";
    case Case::protocolError: return "protocolError";
  }
  return "unknown";
}

bool isTimeout(const platform::ContinuationError& error) {
  return error.which() == platform::ContinuationError::Case::timedOut;
}

platform::OutgoingBytes outgoing(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

}  // namespace

RTMPConnection::Error::Error(Case errorCase, std::string cause)
    : case_(errorCase), cause_(std::move(cause)), text_(caseText(errorCase)) {
  if (!cause_.empty()) text_ += ": " + cause_;
}

RTMPConnection::Error RTMPConnection::Error::unsupportedCommand(std::string command) {
  Error error(Case::unsupportedCommand);
  // The URL may carry credentials: the text names only the scheme.
  error.command_ = std::move(command);
  return error;
}

RTMPConnection::Error RTMPConnection::Error::socketErrorOccurred(const RTMPSocket::Error& socketError) {
  Error error(Case::socketErrorOccurred, socketError.cause());
  error.networkError_ = socketError.networkError();
  return error;
}

RTMPConnection::Error RTMPConnection::Error::socketErrorOccurred(std::string cause) {
  return Error(Case::socketErrorOccurred, std::move(cause));
}

RTMPConnection::Error RTMPConnection::Error::requestFailed(RTMPResponse response, std::string cause) {
  Error error(Case::requestFailed);
  if (response.status()) error.text_ += ": " + describeRefusal(*response.status());
  if (!cause.empty()) error.text_ += ": " + cause;
  error.cause_ = std::move(cause);
  error.response_ = std::move(response);
  return error;
}

RTMPConnection::Error RTMPConnection::Error::protocolError(const std::string& what) {
  return Error(Case::protocolError, "protocol error: " + what);
}

std::ostream& operator<<(std::ostream& stream, RTMPConnection::ReadyState readyState) {
  constexpr const char* names[] = {"uninitialized", "versionSent", "ackSent", "handshakeDone"};
  return stream << names[static_cast<int>(readyState)];
}

const std::set<std::string>& RTMPConnection::supportedProtocols() {
  static const std::set<std::string> protocols{"rtmp", "rtmps"};
  return protocols;
}

const std::vector<std::string>& RTMPConnection::supportedFourCcList() {
  static const std::vector<std::string> list{"hvc1", "Opus"};
  return list;
}

const AMFObject& RTMPConnection::supportedAudioFourCcInfoMap() {
  static const AMFObject map{{"Opus", AMFValue(2)}};
  return map;
}

const AMFObject& RTMPConnection::supportedVideoFourCcInfoMap() {
  static const AMFObject map{{"hvc1", AMFValue(3)}};
  return map;
}

std::shared_ptr<RTMPConnection> RTMPConnection::make(Configuration configuration, platform::Executor executor) {
  return Actor::make<RTMPConnection>(std::move(configuration), std::move(executor));
}

RTMPConnection::RTMPConnection(Key key, Configuration configuration, platform::Executor executor)
    : NetworkConnection(key, std::move(executor)), configuration_(std::move(configuration)) {
  configuration_.validate();
}

template <class Body>
void RTMPConnection::spawnOnStrand(Body body, std::string name) {
  platform::spawn(
      strand(), [self = shared_from_this(), body = std::move(body)]() mutable { return body(); }, std::move(name));
}

void RTMPConnection::setReadyState(ReadyState readyState) {
  TP_INFO(logger(), readyState_, " => ", readyState);
  readyState_ = readyState;
}

// MARK: connect

platform::Async<RTMPResponse> RTMPConnection::connect(std::string command, AMFList arguments) {
  return isolated([this, command = std::move(command), arguments = std::move(arguments)]() mutable {
    return connectBody(std::move(command), std::move(arguments));
  });
}

platform::Async<RTMPResponse> RTMPConnection::connectBody(std::string command, AMFList arguments) {
  if (connected_.value() || connecting_) throw Error(Error::Case::invalidState);
  arguments_ = std::move(arguments);
  authenticator_.reset();
  connecting_ = true;
  std::optional<RTMPResponse> response;
  try {
    for (;;) {
      try {
        response = co_await connectOnce(command);
        break;
      } catch (const Error& error) {
        std::optional<RTMPStatus> status;
        if (error.response()) status = error.response()->status();
        if (error.errorCase() != Error::Case::requestFailed || !status ||
            status->code() != rawValue(Code::connectRejected)) {
          throw;
        }
        auto next = authenticator_.makeCommand(command, *status);
        if (!next) throw;
        TP_DEBUG(logger(), "Connect rejected; retrying with authentication.");
        dropSocket();
        command = std::move(*next);
      }
    }
  } catch (...) {
    connecting_ = false;
    // A refusal that is not retried leaves its link up.
    if (readyState_ != ReadyState::uninitialized) abandonAttempt();
    throw;
  }
  connecting_ = false;

  if (networkMonitor_) {
    linkTasks_.spawn([self = shared_from_this(), generation = generation_,
                      monitor = networkMonitor_] { return self->watchNetwork(generation, monitor); },
                     "RTMPConnection.network");
  }
  for (const auto streams = streams_; const auto& stream : streams) {
    stream->didReceive(fluvio::NetworkMonitorEvent::reset());
    try {
      co_await stream->createStream();
    } catch (const std::exception& error) {
      // The connection stands; the stream reports its own failure.
      TP_WARN(logger(), "A stream failed to create itself: ", error.what());
    }
  }
  co_return std::move(*response);
}

platform::Async<RTMPResponse> RTMPConnection::connectOnce(const std::string& command) {
  const auto url = platform::URL::make(command);
  const auto host = url ? url->host() : std::nullopt;
  if (!url || !supportedProtocols().contains(url->scheme()) || !host || host->empty()) {
    throw Error::unsupportedCommand(command);
  }
  const bool secure = url->scheme() == "rtmps";
  uri_ = url;
  handshake_.clear();
  reader_.reset();
  writer_.reset();
  sequence_ = 0;
  setReadyState(ReadyState::uninitialized);
  currentTransactionId_ = kConnectTransactionId;
  dropSocket();
  const auto qualityOfService = configuration_.qualityOfService;
  socket_ = RTMPSocket::make(
      secure ? platform::NWParameters::tls(qualityOfService) : platform::NWParameters::tcp(qualityOfService),
      configuration_.timeout, SharedStrand{strand()});
  socket_->setReceiveGate([backlog = receiveBacklog_] { return backlog.admitsMore(); });
  receiveBacklog_.setResumed([socket = std::weak_ptr<RTMPSocket>(socket_)] {
    if (const auto open = socket.lock()) open->receiveAdmitted();
  });
  networkMonitor_ = fluvio::NetworkMonitor::make(socket_);
  const std::int64_t port = url->port().value_or(secure ? defaultSecurePort : defaultPort);

  // The waiter is in place before anything is sent, so no reply can miss it.
  auto reply = operations_.add(kConnectTransactionId, configuration_.timeout);
  linkTasks_.spawn([self = shared_from_this(), generation = generation_, socket = socket_, host = *host,
                    port] { return self->run(generation, socket, host, port); },
                   "RTMPConnection.receive");
  try {
    auto answer = std::move(reply).value();
    co_return co_await std::move(answer);
  } catch (const platform::ContinuationError& error) {
    if (!isTimeout(error)) throw;
    TP_WARN(logger(), "Connect timed out.");
    // An answer that came as the time ran out must not leave the link half up.
    abandonAttempt();
    throw Error(Error::Case::connectionTimedOut);
  } catch (const RTMPSocket::Error& error) {
    if (error.errorCase() == RTMPSocket::Error::Case::connectionTimedOut) throw Error(Error::Case::connectionTimedOut);
    throw Error::socketErrorOccurred(error);
  }
}

platform::Async<void> RTMPConnection::run(std::uint64_t generation, std::shared_ptr<RTMPSocket> socket,
                                          std::string host, std::int64_t port) {
  std::optional<platform::AsyncStream<Bytes>> received;
  try {
    received.emplace(co_await socket->connect(std::move(host), port));
  } catch (const std::exception&) {
    if (generation != generation_) co_return;
    operations_.fail(kConnectTransactionId, std::current_exception());
    co_return;
  }
  if (generation != generation_) co_return;
  setReadyState(ReadyState::versionSent);
  socket->send(outgoing(handshake_.c0c1packet()));
  std::optional<Error> failure;
  std::string cause;
  while (auto bytes = co_await received->next()) {
    if (generation != generation_) co_return;
    try {
      listen(*bytes);
    } catch (const std::exception& error) {
      failure = Error::protocolError(error.what());
      TP_ERROR(logger(), "Closing the connection: ", failure->cause());
      cause = failure->cause();
      break;
    }
  }
  if (generation != generation_) co_return;
  if (!failure) {
    const auto reason = co_await socket->closeReason();
    if (generation != generation_) co_return;
    if (reason) cause = reason->cause();
  }
  closeLink(failure, cause);
  for (const auto streams = streams_; const auto& stream : streams) co_await closeStream(stream);
}

namespace {

platform::Async<void> closeThenSignal(std::shared_ptr<RTMPConnectionListener> stream,
                                     platform::Continuation<void> done) {
  try {
    co_await stream->connectionWillClose();
  } catch (const std::exception& error) {
    TP_DEBUG(logger(), "A stream failed to close: ", error.what());
  }
  done.resume();
}

}  // namespace

platform::Async<void> RTMPConnection::closeStream(std::shared_ptr<RTMPConnectionListener> stream) {
  try {
    co_await platform::withContinuation<void>(
        [&](platform::Continuation<void> done) {
          platform::spawn(strand(), [stream, done] { return closeThenSignal(stream, done); }, "RTMPConnection.closeStream");
        },
        configuration_.requestTimeout);
  } catch (const platform::ContinuationError&) {
    // Its commands end by their own time-outs; the close goes on without them.
    TP_WARN(logger(), "A stream did not close within the request time-out.");
  }
}

platform::Async<void> RTMPConnection::watchNetwork(std::uint64_t generation,
                                                   std::shared_ptr<fluvio::NetworkMonitor> monitor) {
  auto events = co_await monitor->event();
  while (auto event = co_await events.next()) {
    if (generation != generation_) co_return;
    dispatch(*event);
  }
}

// MARK: receiving

void RTMPConnection::listen(const Bytes& bytes) {
  switch (readyState_) {
    case ReadyState::uninitialized:
      return;
    case ReadyState::versionSent:
    case ReadyState::ackSent: {
      auto progress = handshake_.receive(bytes);
      if (progress.c2) {
        socket_->send(outgoing(*progress.c2));
        setReadyState(ReadyState::ackSent);
      }
      if (!progress.done) return;
      setReadyState(ReadyState::handshakeDone);
      if (networkMonitor_) spawnOnStrand([monitor = networkMonitor_]() { return monitor->startRunning(); }, "monitor");
      write(RTMPChunkType::zero, RTMPChunkStreamId::command, makeConnectMessage());
      readChunks(progress.rest);
      return;
    }
    case ReadyState::handshakeDone:
      readChunks(bytes);
      return;
  }
}

void RTMPConnection::readChunks(std::span<const std::uint8_t> bytes) {
  reader_.put(bytes);
  const std::uint64_t generation = generation_;
  while (const auto chunk = reader_.next()) {
    auto message = decodeMessage(chunk->header);
    // Every later chunk depends on the size this one carries.
    if (!message && chunk->header.messageTypeId == rawValue(RTMPMessageType::chunkSize)) {
      throw RTMPChunkError(RTMPChunkError::Case::malformedChunkSize, chunk->header.payload.size());
    }
    if (message) dispatch(*message, chunk->chunkType);
    // A message may have ended this connection (a close reply to a waiter).
    if (generation != generation_) return;
  }
}

void RTMPConnection::dispatch(const RTMPReceivedMessage& received, RTMPChunkType type) {
  const RTMPMessage& message = asMessage(received);
  if (logger().isEnabledFor(tracepost::TPLogger::Level::trace)) {
    TP_TRACE(logger(), ">> ", message.type(), " stream ", message.streamId(), " ", message.payload().size(), " bytes");
  }
  if (message.streamId() != 0) {
    RTMPReceiveBacklog::Hold hold;
    for (const auto& stream : streams_) {
      if (stream->messageStreamId() != message.streamId()) continue;
      if (!hold.bytes()) hold = receiveBacklog_.take(message.payload().size());
      stream->didReceive(received, type, hold);
    }
    return;
  }
  if (const auto* chunkSize = std::get_if<RTMPSetChunkSizeMessage>(&received)) {
    reader_.setChunkSize(chunkSize->size());
  } else if (const auto* abort = std::get_if<RTMPAbortMessge>(&received)) {
    reader_.abort(abort->chunkStreamId());
  } else if (const auto* window = std::get_if<RTMPWindowAcknowledgementSizeMessage>(&received)) {
    windowSizeC_ = window->size();
    if (connected_.value()) {
      write(RTMPChunkType::zero, RTMPChunkStreamId::control,
            RTMPWindowAcknowledgementSizeMessage(0, 0, static_cast<std::uint32_t>(windowSizeC_)));
    }
    windowSizeS_ = window->size();
  } else if (const auto* bandwidth = std::get_if<RTMPSetPeerBandwidthMessage>(&received)) {
    bandWidth_ = bandwidth->size();
  } else if (const auto* command = std::get_if<RTMPCommandMessage>(&received)) {
    dispatch(*command);
  } else if (const auto* sharedObject = std::get_if<RTMPSharedObjectMessage>(&received)) {
    dispatch(*sharedObject);
  } else if (const auto* user = std::get_if<RTMPUserControlMessage>(&received)) {
    if (user->event() == RTMPUserControlMessage::Event::ping) {
      write(RTMPChunkType::zero, RTMPChunkStreamId::control,
            RTMPUserControlMessage(0, 0, RTMPUserControlMessage::Event::pong, user->value()));
      return;
    }
    for (const auto& stream : streams_) {
      if (user->value() > 0 && stream->messageStreamId() == static_cast<std::uint32_t>(user->value())) {
        stream->didReceive(*user);
      }
    }
  }
}

void RTMPConnection::dispatch(const RTMPCommandMessage& command) {
  RTMPResponse response(command);
  const std::int64_t transactionId = command.transactionId();
  if (!operations_.contains(transactionId)) {
    if (command.commandName() == "close") {
      // Its own task: the close waits for work that this receive step is part of.
      spawnOnStrand([this]() -> platform::Async<void> {
        if (readyState_ != ReadyState::uninitialized) co_await closeBody("the server closed the connection");
      }, "RTMPConnection.serverClose");
    }
  } else if (command.commandName() == "_result") {
    if (transactionId == kConnectTransactionId && connecting_) {
      connected_.assign(true);
      write(RTMPChunkType::zero, RTMPChunkStreamId::control, RTMPSetChunkSizeMessage(0, 0, configuration_.chunkSize));
      writer_.setChunkSize(configuration_.chunkSize);
    }
    operations_.resolve(transactionId, response);
  } else {
    operations_.fail(transactionId, std::make_exception_ptr(Error::requestFailed(response)));
  }
  if (response.status()) yieldStatus(*response.status());
}

void RTMPConnection::dispatch(const RTMPSharedObjectMessage& message) {
  if (!uri_) return;
  // The object's path is the connection's URL without its query.
  std::string remotePath = uri_->absoluteString();
  if (uri_->query()) remotePath.erase(remotePath.find('?'));
  const bool persistence = (message.flags()[3] & 2) != 0;
  const auto object = RTMPSharedObject::findRemote(message.sharedObjectName(), remotePath, persistence);
  if (!object) {
    if (const auto admission = peerLogLimit_.admit()) {
      TP_DEBUG(logger(), admission.summary(), "Dropped a message for shared object ",
               peerText(message.sharedObjectName()), ", which no one here uses.");
    }
    return;
  }
  // Applied in arrival order on the object.
  object->enqueue([object, message] { return object->on(message); });
}

void RTMPConnection::dispatch(const fluvio::NetworkMonitorEvent& event) {
  if (const auto& report = event.report()) {
    if (report->totalBytesIn >= (sequence_ + 1) * windowSizeS_) {
      // The field holds 32 bits; the count goes on modulo 2^32 as peers expect.
      const auto received = static_cast<std::uint32_t>(static_cast<std::uint64_t>(report->totalBytesIn));
      write(sequence_ == 0 ? RTMPChunkType::zero : RTMPChunkType::one, RTMPChunkStreamId::control,
            RTMPAcknowledgementMessage(0, 0, received));
      sequence_ += 1;
    }
  }
  for (const auto& stream : streams_) stream->didReceive(event);
}

void RTMPConnection::yieldStatus(const RTMPStatus& status) {
  if (statusContinuation_) statusContinuation_->yield(status);
}

// MARK: sending

void RTMPConnection::output(RTMPChunkType type, RTMPChunkStreamId chunkStreamId, RTMPStreamMessage message,
                            DeliveryNotice delivered) {
  enqueue([self = shared_from_this(), type, chunkStreamId, message = std::move(message),
           delivered = std::move(delivered)]() mutable {
    std::visit([&](const auto& sent) { self->write(type, chunkStreamId, sent, std::move(delivered)); }, message);
  });
}

std::size_t RTMPConnection::write(RTMPChunkType type, RTMPChunkStreamId chunkStreamId, const RTMPMessage& message,
                                  DeliveryNotice delivered) {
  if (logger().isEnabledFor(tracepost::TPLogger::Level::trace)) {
    TP_TRACE(logger(), "<< ", message.type(), " stream ", message.streamId(), " ", message.payload().size(), " bytes");
  }
  platform::OutgoingBytes chunks;
  try {
    writer_.write(type, rawValue(chunkStreamId), message, chunks);
  } catch (const RTMPChunkError& error) {
    TP_ERROR(logger(), "Message not sent: ", error.what());
    return 0;
  }
  if (socket_ && !chunks.empty()) socket_->send(std::move(chunks), std::move(delivered));
  return message.payload().size();
}

RTMPCommandMessage RTMPConnection::makeConnectMessage() const {
  const platform::URL& url = *uri_;
  std::string app = url.path().empty() ? std::string() : url.path().substr(1);
  if (const auto query = url.query()) app += "?" + *query;
  const auto optionalString = [](const std::optional<std::string>& text) {
    return text ? AMFValue(*text) : AMFValue();
  };
  AMFList fourCcList;
  if (configuration_.fourCcList) {
    for (const auto& fourCc : *configuration_.fourCcList) fourCcList.emplace_back(fourCc);
  }
  AMFObject commandObject{
      {"app", AMFValue(app)},
      {"flashVer", AMFValue(configuration_.flashVer)},
      {"swfUrl", optionalString(configuration_.swfUrl)},
      {"tcUrl", AMFValue(removingCredentials(url.absoluteString()))},
      {"fpad", AMFValue(false)},
      {"capabilities", AMFValue(defaultCapabilities)},
      {"audioCodecs", AMFValue(1024)},
      {"videoCodecs", AMFValue(128)},
      {"videoFunction", AMFValue(1)},
      {"pageUrl", optionalString(configuration_.pageUrl)},
      {"objectEncoding", AMFValue(rawValue(objectEncoding()))},
      {"fourCcList", configuration_.fourCcList ? AMFValue(std::move(fourCcList)) : AMFValue()},
      {"videoFourCcInfoMap",
       configuration_.videoFourCcInfoMap ? AMFValue(*configuration_.videoFourCcInfoMap) : AMFValue()},
      {"audioFourCcInfoMap",
       configuration_.audioFourCcInfoMap ? AMFValue(*configuration_.audioFourCcInfoMap) : AMFValue()},
      {"capsEx", AMFValue(configuration_.capsEx)},
  };
  return RTMPCommandMessage(0, 0, objectEncoding(), "connect", kConnectTransactionId, std::move(commandObject),
                            arguments_);
}

// MARK: commands

platform::Async<RTMPResponse> RTMPConnection::call(std::string commandName, AMFList arguments) {
  return isolated([this, commandName = std::move(commandName), arguments = std::move(arguments)]() mutable {
    return callBody(std::move(commandName), std::move(arguments));
  });
}

platform::Async<RTMPResponse> RTMPConnection::callBody(std::string commandName, AMFList arguments) {
  if (!connected_.value()) throw Error(Error::Case::invalidState);
  const std::int64_t transactionId = ++currentTransactionId_;
  auto reply = operations_.add(transactionId, configuration_.requestTimeout);
  write(RTMPChunkType::zero, RTMPChunkStreamId::command,
        RTMPCommandMessage(0, 0, objectEncoding(), std::move(commandName), transactionId, std::nullopt,
                           std::move(arguments)));
  try {
    auto answer = std::move(reply).value();
    co_return co_await std::move(answer);
  } catch (const platform::ContinuationError& error) {
    if (!isTimeout(error)) throw;
    throw Error(Error::Case::requestTimedOut);
  }
}

platform::Async<void> RTMPConnection::waitForRequestTimeout() { return platform::sleepFor(configuration_.requestTimeout); }

// MARK: close

platform::Async<void> RTMPConnection::close() {
  return isolated([this] { return closeBody(); });
}

platform::Async<void> RTMPConnection::closeBody(std::string cause) {
  if (readyState_ == ReadyState::uninitialized && !connecting_) throw Error(Error::Case::invalidState);
  const std::uint64_t generation = generation_;
  if (connected_.value()) {
    for (const auto streams = streams_; const auto& stream : streams) co_await closeStream(stream);
    // The link may have gone (and been closed) meanwhile.
    if (generation != generation_) co_return;
  }
  // What is queued goes out, and TLS ends with its alert, before the link
  // closes; the receive loop no longer reacts to the socket's end.
  const std::uint64_t closing = ++generation_;
  if (socket_) co_await socket_->shutdown();
  // Another close, or a connect, took over meanwhile.
  if (closing != generation_) co_return;
  closeLink(std::nullopt, cause);
  co_await linkTasks_.cancelAll();
}

void RTMPConnection::abandonAttempt() {
  if (connected_.value()) connected_.assign(false);
  dropSocket();
  setReadyState(ReadyState::uninitialized);
}

void RTMPConnection::dropSocket() {
  ++generation_;
  if (socket_) socket_->close();
  if (networkMonitor_) spawnOnStrand([monitor = networkMonitor_]() { return monitor->stopRunning(); }, "monitor");
}

void RTMPConnection::closeLink(const std::optional<Error>& failure, const std::string& cause) {
  const RTMPStatus status =
      makeStatus(readyState_ == ReadyState::handshakeDone ? Code::connectClosed : Code::connectFailed, cause);
  uri_.reset();
  dropSocket();
  connected_.assign(false);
  setReadyState(ReadyState::uninitialized);
  const bool connectWaited = operations_.contains(kConnectTransactionId);
  operations_.failAll(
      std::make_exception_ptr(failure ? *failure : Error::requestFailed(RTMPResponse(status, {}), cause)));
  if (!connectWaited) yieldStatus(status);
}

// MARK: state

platform::Async<bool> RTMPConnection::connected() {
  return isolated([self = shared_from_this()]() -> platform::Async<bool> { co_return self->connected_.value(); });
}

platform::Async<platform::AsyncStream<bool>> RTMPConnection::connectedPublisher() {
  return isolated([self = shared_from_this()]() -> platform::Async<platform::AsyncStream<bool>> {
    co_return self->connected_.subscribe();
  });
}

platform::Async<platform::AsyncStream<RTMPStatus>> RTMPConnection::status() {
  return isolated([self = shared_from_this()]() -> platform::Async<platform::AsyncStream<RTMPStatus>> {
    auto [stream, continuation] = platform::AsyncStream<RTMPStatus>::makeStream();
    self->statusContinuation_ = continuation;
    co_return std::move(stream);
  });
}

platform::Async<bool> RTMPConnection::addStream(std::shared_ptr<RTMPConnectionListener> stream) {
  return isolated([self = shared_from_this(), stream = std::move(stream)]() mutable -> platform::Async<bool> {
    self->streams_.push_back(std::move(stream));
    co_return self->connected_.value();
  });
}

platform::Async<std::optional<platform::URL>> RTMPConnection::uri() {
  return isolated(
      [self = shared_from_this()]() -> platform::Async<std::optional<platform::URL>> { co_return self->uri_; });
}

}  // namespace rtmpfluvio
