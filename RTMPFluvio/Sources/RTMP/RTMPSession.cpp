#include "RTMPFluvio/Sources/RTMP/RTMPSession.hpp"

#include <algorithm>

#include "RTMPFluvio/Sources/RTMP/CoroutineFrameWarning.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnection.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPFluvioLogger.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStream.hpp"
#include "Tracepost/Sources/TPLogger.hpp"

namespace rtmpfluvio {

using fluvio::SessionMode;
using fluvio::SessionReadyState;
using platform::Async;

namespace {

// Marks a connect as under way for as long as its body runs, however it ends.
class ConnectInProgress {
 public:
  explicit ConnectInProgress(bool& flag) noexcept : flag_(flag) { flag_ = true; }
  ~ConnectInProgress() { flag_ = false; }
  ConnectInProgress(const ConnectInProgress&) = delete;
  ConnectInProgress& operator=(const ConnectInProgress&) = delete;

 private:
  bool& flag_;
};

}  // namespace

std::shared_ptr<RTMPSession> RTMPSession::make(platform::URL uri, SessionMode mode, platform::Executor executor) {
  return Actor::make<RTMPSession>(std::move(uri), mode, std::move(executor));
}

RTMPSession::RTMPSession(Key key, platform::URL uri, SessionMode mode, platform::Executor executor)
    : Session(key, std::move(executor)), uri_(std::move(uri)), mode_(mode) {}

RTMPSession::~RTMPSession() { cancelWatcher(); }

const std::shared_ptr<RTMPConnection>& RTMPSession::connectionOnFirstUse() {
  if (!connection_) {
    RTMPConnection::Configuration configuration;
    configuration.flashVer =
        mode_ == SessionMode::playback ? "MAC 9,0,124,2" : std::string(RTMPConnection::defaultFlashVer);
    configuration.fourCcList = RTMPConnection::supportedFourCcList();
    configuration.videoFourCcInfoMap = RTMPConnection::supportedVideoFourCcInfoMap();
    configuration.audioFourCcInfoMap = RTMPConnection::supportedAudioFourCcInfoMap();
    configuration.capsEx = 0;
    configuration.timeout = RTMPConnection::defaultTimeout;
    configuration.requestTimeout = RTMPConnection::defaultRequestTimeout;
    configuration.chunkSize = RTMPConnection::defaultChunkSizeS;
    configuration.qualityOfService = platform::DispatchQoS::userInitiated;
    connection_ = RTMPConnection::make(std::move(configuration));
  }
  return connection_;
}

const std::shared_ptr<RTMPStream>& RTMPSession::streamOnFirstUse() {
  if (!stream_) {
    std::optional<std::string> publishName;
    if (mode_ == SessionMode::publish) publishName = uri_.streamName();
    stream_ = RTMPStream::make(connectionOnFirstUse(), std::move(publishName));
  }
  return stream_;
}

void RTMPSession::cancelWatcher() {
  if (disconnectedTask_) disconnectedTask_->cancel();
  disconnectedTask_.reset();
}

Async<platform::AsyncStream<SessionReadyState>> RTMPSession::readyState() {
  return isolated([self = shared_from_this()]() -> Async<platform::AsyncStream<SessionReadyState>> {
    co_return self->readyState_.wrappedValue();
  });
}

Async<std::shared_ptr<fluvio::StreamConvertible>> RTMPSession::stream() {
  return isolated([self = shared_from_this()]() -> Async<std::shared_ptr<fluvio::StreamConvertible>> {
    co_return self->streamOnFirstUse();
  });
}

Async<void> RTMPSession::setMaxRetryCount(int maxRetryCount) {
  return isolated([self = shared_from_this(), maxRetryCount]() -> Async<void> {
    self->maxRetryCount_ = maxRetryCount;
    co_return;
  });
}

Async<bool> RTMPSession::connected() {
  return isolated([self = shared_from_this()]() -> Async<bool> {
    if (!self->connection_) co_return false;
    auto connected = self->connection_->connected();
    co_return co_await std::move(connected);
  });
}

Async<void> RTMPSession::connect(std::function<void()> disconnected) {
  return isolated(
      [this, disconnected = std::move(disconnected)]() mutable { return connectBody(std::move(disconnected)); });
}

Async<void> RTMPSession::connectBody(std::function<void()> disconnected) {
  const auto self = shared_from_this();
  // A second connect would only find the connection busy and go into the retries.
  if (isConnecting_) throw RTMPConnection::Error(RTMPConnection::Error::Case::invalidState);
  const ConnectInProgress inProgress(isConnecting_);
  const auto connection = connectionOnFirstUse();
  const auto stream = streamOnFirstUse();
  auto isConnected = connection->connected();
  if (co_await std::move(isConnected)) co_return;
  readyState_.setValue(SessionReadyState::connecting);
  cancelWatcher();
  const std::uint64_t closeCount = closeCount_;
  const std::string command = uri_.commandURL().absoluteString();

  for (;;) {
    std::exception_ptr failure;
    try {
      auto connected = connection->connect(command);
      co_await std::move(connected);
    } catch (...) {
      failure = std::current_exception();
    }
    if (!failure) break;
    // close() has ended this connect and set the state.
    if (closeCount != closeCount_) std::rethrow_exception(failure);
    if (retryCount_ >= maxRetryCount_) {
      retryCount_ = 0;
      readyState_.setValue(SessionReadyState::closed);
      std::rethrow_exception(failure);
    }
    auto paused = pauseBeforeRetry(std::chrono::seconds(std::int64_t{1} << std::min(retryCount_, 30)));
    if (!co_await std::move(paused) || closeCount != closeCount_) std::rethrow_exception(failure);
    retryCount_ += 1;
  }
  retryCount_ = 0;

  std::exception_ptr failure;
  try {
    if (mode_ == SessionMode::playback) {
      auto played = stream->play({AMFValue(uri_.streamName())});
      co_await std::move(played);
    } else {
      auto published = stream->publish(uri_.streamName(), RTMPStream::HowToPublish::live);
      co_await std::move(published);
    }
  } catch (...) {
    failure = std::current_exception();
  }
  if (failure) {
    if (closeCount == closeCount_) {
      // The stream's own error is what the caller gets, whatever the close says.
      try {
        auto closed = connection->close();
        co_await std::move(closed);
      } catch (const std::exception& error) {
        TP_WARN(logger(), "Closing after a failed start: ", error.what());
      }
      readyState_.setValue(SessionReadyState::closed);
    }
    std::rethrow_exception(failure);
  }
  auto taken = connection->status();
  auto statuses = co_await std::move(taken);
  readyState_.setValue(SessionReadyState::open);
  cancelWatcher();
  // Holds the session only while handling a status, so an owner that drops
  // the session is not kept waiting on the connection.
  disconnectedTask_ = platform::spawn(
      strand(),
      [weak = weak_from_this(), statuses = std::move(statuses),
       disconnected = std::move(disconnected)]() mutable -> Async<void> {
        while (true) {
          auto next = statuses.next();
          const auto status = co_await std::move(next);
          if (!status) co_return;
          if (status->code() != rawValue(RTMPConnection::Code::connectClosed)) continue;
          const auto session = weak.lock();
          if (!session) co_return;
          session->readyState_.setValue(SessionReadyState::closed);
          if (disconnected) disconnected();
        }
      },
      "RTMPSession.disconnected");
}

Async<bool> RTMPSession::pauseBeforeRetry(std::chrono::seconds pause) {
  try {
    auto waited = platform::withContinuation<void>(
        [this](platform::Continuation<void> stop) { retryPause_ = std::move(stop); }, pause);
    co_await std::move(waited);
  } catch (const platform::ContinuationError& error) {
    retryPause_.reset();
    if (error.which() == platform::ContinuationError::Case::timedOut) co_return true;
    throw;
  }
  retryPause_.reset();
  co_return false;
}

Async<void> RTMPSession::close() {
  return isolated([this] { return closeBody(); });
}

Async<void> RTMPSession::closeBody() {
  const auto self = shared_from_this();
  const bool connecting = readyState_.value() == SessionReadyState::connecting;
  bool connected = false;
  if (connection_) {
    auto isConnected = connection_->connected();
    connected = co_await std::move(isConnected);
  }
  if (!connected && !connecting) co_return;
  closeCount_ += 1;
  if (retryPause_) retryPause_->resume();
  retryPause_.reset();
  readyState_.setValue(SessionReadyState::closing);
  cancelWatcher();
  if (connected) {
    auto closed = connection_->close();
    co_await std::move(closed);
  } else {
    // A connect still under way fails with the close; between attempts there is nothing to close.
    try {
      auto closed = connection_->close();
      co_await std::move(closed);
    } catch (const RTMPConnection::Error& error) {
      if (error.errorCase() != RTMPConnection::Error::Case::invalidState) throw;
    }
  }
  retryCount_ = 0;
  readyState_.setValue(SessionReadyState::closed);
}

}  // namespace rtmpfluvio
