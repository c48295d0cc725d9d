#include "RTMPFluvio/Sources/RTMP/RTMPSocket.hpp"

#include <asio/bind_executor.hpp>
#include <asio/post.hpp>

#include "Fluvio/Sources/Network/NetworkMonitor.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPFluvioLogger.hpp"

namespace rtmpfluvio {
namespace {

std::string caseText(RTMPSocket::Error::Case errorCase) {
  switch (errorCase) {
    case RTMPSocket::Error::Case::connectionNotEstablished: return "connectionNotEstablished";
    case RTMPSocket::Error::Case::invalidState: return "invalidState";
    case RTMPSocket::Error::Case::connectionTimedOut: return "connectionTimedOut";
  }
  return "unknown";
}

}  // namespace

RTMPSocket::Error::Error(Case errorCase, std::optional<platform::NWError> networkError)
    : case_(errorCase),
      networkError_(std::move(networkError)),
      text_(caseText(errorCase) + (networkError_ ? std::string(": ") + networkError_->what() : std::string())) {}

std::shared_ptr<RTMPSocket> RTMPSocket::make(platform::NWParameters parameters,
                                             std::chrono::steady_clock::duration timeout,
                                             platform::Executor executor) {
  return Actor::make<RTMPSocket>(parameters, timeout, std::move(executor));
}

RTMPSocket::RTMPSocket(Key key, platform::NWParameters parameters, std::chrono::steady_clock::duration timeout,
                       platform::Executor executor)
    : NetworkTransportReporter(key, std::move(executor)),
      parameters_(parameters),
      timeout_(timeout),
      timer_(strand()) {}

template <class Body>
auto RTMPSocket::onStrand(Body body) {
  return [weak = weak_from_this(), generation = generation_, body = std::move(body)](auto&&... arguments) mutable {
    auto self = weak.lock();
    if (!self) return;
    asio::post(self->strand(), [self, generation, body = std::move(body),
                                ... arguments = std::forward<decltype(arguments)>(arguments)]() mutable {
      if (generation == self->generation_) body(*self, std::move(arguments)...);
    });
  };
}

platform::Async<platform::AsyncStream<RTMPSocket::Bytes>> RTMPSocket::connect(std::string host, std::int64_t port) {
  return isolated([this, host = std::move(host), port]() mutable { return connectBody(std::move(host), port); });
}

platform::Async<platform::AsyncStream<RTMPSocket::Bytes>> RTMPSocket::connectBody(std::string host,
                                                                                  std::int64_t port) {
  if (connected_ || pendingConnect_) throw Error(Error::Case::invalidState);
  if (port < 1 || port > 65535) throw Error(Error::Case::connectionNotEstablished);
  closeWith(std::nullopt);
  totalBytesIn_ = 0;
  queueBytesOut_ = 0;
  totalBytesOut_ = 0;
  auto [received, continuation] = platform::AsyncStream<Bytes>::makeStream();
  incoming_ = continuation;
  connection_ = platform::NWConnection::make(host, static_cast<std::uint16_t>(port), parameters_, strand());
  connection_->setStateUpdateHandler(onStrand([](RTMPSocket& self, platform::NWConnection::State state,
                                                 std::optional<platform::NWError> error) {
    self.stateDidChange(self.generation_, state, std::move(error));
  }));
  co_await platform::withContinuation<void>([&](platform::Continuation<void> waiter) {
    pendingConnect_ = waiter;
    timer_.expires_after(timeout_);
    timer_.async_wait(onStrand([](RTMPSocket& self, const std::error_code& error) {
      if (error || !self.pendingConnect_) return;
      self.pendingConnect_->resumeThrowing(Error(Error::Case::connectionTimedOut));
      self.pendingConnect_.reset();
      self.closeWith(std::nullopt);
    }));
    connection_->start();
  });
  co_return std::move(received);
}

void RTMPSocket::stateDidChange(std::uint64_t, platform::NWConnection::State state,
                                std::optional<platform::NWError> error) {
  using State = platform::NWConnection::State;
  switch (state) {
    case State::setup:
      TP_DEBUG(logger(), "Connection is setting up.");
      return;
    case State::preparing:
      TP_DEBUG(logger(), "Connection is preparing.");
      return;
    case State::ready:
      TP_INFO(logger(), "Connection is ready.");
      connected_ = true;
      timer_.cancel();
      if (pendingConnect_) {
        pendingConnect_->resume();
        pendingConnect_.reset();
      }
      receiveNext();
      return;
    case State::failed:
      TP_WARN(logger(), "Connection failed:", error ? error->what() : "");
      closeWith(std::move(error));
      return;
    case State::cancelled:
      TP_INFO(logger(), "Connection cancelled.");
      closeWith(std::nullopt);
      return;
  }
}

void RTMPSocket::receiveNext() {
  connection_->receive(kReceiveSize, onStrand([](RTMPSocket& self, Bytes data, std::optional<platform::NWError> error) {
    if (data.empty()) return self.closeWith(std::move(error));
    self.totalBytesIn_ += static_cast<std::int64_t>(data.size());
    if (self.incoming_) self.incoming_->yield(std::move(data));
    self.receiveNext();
  }));
}

void RTMPSocket::send(Bytes bytes) {
  asio::post(strand(), [self = shared_from_this(), bytes = std::move(bytes)]() mutable {
    if (!self->connected_) return;
    if (self->queueBytesOut_ + static_cast<std::int64_t>(bytes.size()) > kMaxQueuedBytes) {
      // A peer that stops reading must not make us hold its backlog without end.
      TP_ERROR(logger(), "Closing: ", self->queueBytesOut_, " bytes wait unsent; the peer stopped reading.");
      return self->closeWith(std::nullopt);
    }
    self->queueBytesOut_ += static_cast<std::int64_t>(bytes.size());
    self->outgoing_.push_back(std::move(bytes));
    self->sendNext();
  });
}

void RTMPSocket::sendNext() {
  if (sending_ || outgoing_.empty()) return;
  sending_ = true;
  const auto count = static_cast<std::int64_t>(outgoing_.front().size());
  connection_->send(std::move(outgoing_.front()), onStrand([count](RTMPSocket& self, std::optional<platform::NWError> error) {
    self.sending_ = false;
    if (error) return self.closeWith(std::move(error));
    self.totalBytesOut_ += count;
    self.queueBytesOut_ -= count;
    self.sendNext();
  }));
  outgoing_.pop_front();
}

void RTMPSocket::close() {
  asio::post(strand(), [self = shared_from_this()] { self->closeWith(std::nullopt); });
}

void RTMPSocket::closeWith(std::optional<platform::NWError> error) {
  if (!connection_) return;
  ++generation_;
  if (pendingConnect_) {
    pendingConnect_->resumeThrowing(Error(Error::Case::connectionNotEstablished, std::move(error)));
    pendingConnect_.reset();
  }
  connected_ = false;
  sending_ = false;
  outgoing_.clear();
  timer_.cancel();
  if (incoming_) incoming_->finish();
  incoming_.reset();
  connection_->forceCancel();
  connection_.reset();
}

platform::Async<bool> RTMPSocket::connected() {
  return isolated([self = shared_from_this()]() -> platform::Async<bool> { co_return self->connected_; });
}

platform::Async<std::shared_ptr<fluvio::NetworkMonitor>> RTMPSocket::makeNetworkMonitor() {
  co_return fluvio::NetworkMonitor::make(shared_from_this());
}

platform::Async<fluvio::NetworkTransportReport> RTMPSocket::makeNetworkTransportReport() {
  return isolated([self = shared_from_this()]() -> platform::Async<fluvio::NetworkTransportReport> {
    co_return fluvio::NetworkTransportReport{self->queueBytesOut_, self->totalBytesIn_, self->totalBytesOut_};
  });
}

}  // namespace rtmpfluvio
