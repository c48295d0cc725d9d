#include "RTMPFluvio/Sources/RTMP/RTMPSocket.hpp"

#include <algorithm>
#include <asio/bind_executor.hpp>
#include <asio/dispatch.hpp>
#include <asio/post.hpp>
#include <cstdio>

#include "Fluvio/Sources/Network/NetworkMonitor.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPFluvioLogger.hpp"

namespace rtmpfluvio {
namespace {

std::string caseText(RTMPSocket::Error::Case errorCase) {
  switch (errorCase) {
    case RTMPSocket::Error::Case::connectionNotEstablished: return "connectionNotEstablished";
    case RTMPSocket::Error::Case::invalidState: return "invalidState";
    case RTMPSocket::Error::Case::endOfStream: return "endOfStream";
    case RTMPSocket::Error::Case::connectionTimedOut: return "connectionTimedOut";
    case RTMPSocket::Error::Case::outputStalled: return "outputStalled";
  }
  return "unknown";
}

std::string seconds(std::chrono::steady_clock::duration duration) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", std::chrono::duration<double>(duration).count());
  return text;
}

}  // namespace

RTMPSocket::Error::Error(Case errorCase, std::optional<platform::NWError> networkError, std::string cause)
    : case_(errorCase),
      networkError_(std::move(networkError)),
      cause_(cause.empty() && networkError_ ? std::string(networkError_->what()) : std::move(cause)),
      text_(caseText(errorCase) + (cause_.empty() ? std::string() : ": " + cause_)) {}

std::shared_ptr<RTMPSocket> RTMPSocket::make(platform::NWParameters parameters,
                                             std::chrono::steady_clock::duration timeout,
                                             platform::Executor executor) {
  return make(parameters, timeout, SharedStrand{Strand(std::move(executor))});
}

std::shared_ptr<RTMPSocket> RTMPSocket::make(platform::NWParameters parameters,
                                             std::chrono::steady_clock::duration timeout, SharedStrand strand) {
  return Actor::make<RTMPSocket>(parameters, timeout, std::move(strand));
}

RTMPSocket::RTMPSocket(Key key, platform::NWParameters parameters, std::chrono::steady_clock::duration timeout,
                       SharedStrand shared)
    : NetworkTransportReporter(key, std::move(shared)),
      parameters_(parameters),
      timeout_(timeout),
      timer_(strand()),
      outputTimer_(strand()) {}

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
  closeReason_.reset();
  acknowledged_ = 0;
  totalBytesIn_ = 0;
  queueBytesOut_ = 0;
  totalBytesOut_ = 0;
  auto [received, continuation] = platform::AsyncStream<Bytes>::makeStream();
  incoming_ = continuation;
  // Not on our strand: a strand over it would run nested in ours.
  connection_ = platform::NWConnection::make(host, static_cast<std::uint16_t>(port), parameters_,
                                             strand().get_inner_executor());
  connection_->setStateUpdateHandler(onStrand([](RTMPSocket& self, platform::NWConnection::State state,
                                                 std::optional<platform::NWError> error) {
    self.stateDidChange(state, std::move(error));
  }));
  connection_->setViabilityUpdateHandler(onStrand([](RTMPSocket& self, bool viable) {
    TP_INFO(logger(), "Connection viability changed to ", viable ? "true" : "false");
    if (!viable) self.closeWith(Error(Error::Case::connectionNotEstablished, std::nullopt, "the path to the server was lost"));
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

void RTMPSocket::stateDidChange(platform::NWConnection::State state, std::optional<platform::NWError> error) {
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
    case State::waiting:
      // The socket does not wait for the network to come back.
      TP_WARN(logger(), "Connection waiting:", error ? error->what() : "");
      closeWith(Error(Error::Case::connectionNotEstablished, std::move(error)));
      return;
    case State::failed:
      TP_WARN(logger(), "Connection failed:", error ? error->what() : "");
      closeWith(Error(Error::Case::connectionNotEstablished, std::move(error)));
      return;
    case State::cancelled:
      TP_INFO(logger(), "Connection cancelled.");
      closeWith(std::nullopt);
      return;
  }
}

void RTMPSocket::setReceiveGate(std::function<bool()> admitsMore) { admitsMore_ = std::move(admitsMore); }

void RTMPSocket::receiveAdmitted() {
  asio::dispatch(strand(), [self = shared_from_this()] {
    if (self->connected_ && !self->receiving_) self->receiveNext();
  });
}

void RTMPSocket::receiveNext() {
  // Unread bytes stay with the system, whose window then holds the server back.
  if (admitsMore_ && !admitsMore_()) return;
  receiving_ = true;
  connection_->receive(kReceiveSize, onStrand([](RTMPSocket& self, Bytes data, std::optional<platform::NWError> error) {
    self.receiving_ = false;
    if (data.empty()) {
      // Ending the stream ends the receive; the state report closes.
      if (self.closing_ == Closing::ending) return;
      if (error) return self.closeWith(Error(Error::Case::connectionNotEstablished, std::move(error)));
      return self.closeWith(Error(Error::Case::endOfStream, std::nullopt, "the server closed the connection"));
    }
    self.totalBytesIn_ += static_cast<std::int64_t>(data.size());
    if (self.incoming_) self.incoming_->yield(std::move(data));
    self.receiveNext();
  }));
}

void RTMPSocket::send(platform::OutgoingBytes bytes, DeliveryNotice delivered) {
  asio::dispatch(strand(), [self = shared_from_this(), bytes = std::move(bytes),
                            delivered = std::move(delivered)]() mutable {
    self->queue(std::move(bytes), std::move(delivered));
  });
}

void RTMPSocket::queue(platform::OutgoingBytes bytes, DeliveryNotice delivered) {
  if (!connected_ || closing_ != Closing::none) return;
  if (queueBytesOut_ + static_cast<std::int64_t>(bytes.size()) > kMaxQueuedBytes) {
    // A peer that stops reading must not make us hold its backlog without end.
    return closeWith(Error(Error::Case::outputStalled, std::nullopt,
                           "the server stopped reading: " + std::to_string(queueBytesOut_) + " bytes wait unsent"));
  }
  queueBytesOut_ += static_cast<std::int64_t>(bytes.size());
  outgoing_.push_back({std::move(bytes), std::move(delivered)});
  sendNext();
}

void RTMPSocket::sendNext() {
  if (sending_) return;
  if (outgoing_.empty()) {
    if (closing_ == Closing::draining && closingStep_) closingStep_->resume();
    return;
  }
  // Nothing was due until now: the wait for the server starts here.
  if (!outputDue()) lastOutputProgress_ = std::chrono::steady_clock::now();
  sending_ = true;
  watchOutput();
  auto [bytes, delivered] = std::move(outgoing_.front());
  outgoing_.pop_front();
  sendingCount_ = static_cast<std::int64_t>(bytes.size());
  sendingNotice_ = std::move(delivered);
  connection_->send(std::move(bytes), onStrand([](RTMPSocket& self, std::optional<platform::NWError> error) {
    self.sending_ = false;
    if (error) return self.closeWith(Error(Error::Case::connectionNotEstablished, std::move(error)));
    self.totalBytesOut_ += self.sendingCount_;
    self.queueBytesOut_ -= self.sendingCount_;
    if (auto delivered = std::exchange(self.sendingNotice_, nullptr)) {
      delivered(Delivery::written);
      self.unacknowledged_.push_back({static_cast<std::uint64_t>(self.totalBytesOut_), std::move(delivered)});
      // Many small sends between two checks: looked at now, they stay few.
      if (self.unacknowledged_.size() % kUnacknowledgedBatch == 0) self.readProgress();
    }
    self.sendNext();
  }));
}

void RTMPSocket::watchOutput() {
  if (std::exchange(watchingOutput_, true)) return;
  // Often enough for acknowledged sends to be told soon, and for a stall to
  // be noticed soon after the time-out.
  outputTimer_.expires_after(std::clamp<std::chrono::steady_clock::duration>(
      timeout_ / 10, std::chrono::milliseconds(10), std::chrono::milliseconds(100)));
  outputTimer_.async_wait(onStrand([](RTMPSocket& self, const std::error_code& error) {
    if (!error) self.readProgress();
  }));
}

void RTMPSocket::readProgress() {
  // The one under way re-arms the watch when it comes.
  if (std::exchange(readingProgress_, true)) return;
  connection_->progress(onStrand([](RTMPSocket& self, platform::NWConnection::Progress progress) {
    self.readingProgress_ = false;
    self.watchingOutput_ = false;
    self.checkOutput(progress);
  }));
}

void RTMPSocket::acknowledge(UnacknowledgedSends& sends, std::uint64_t acknowledged) {
  for (; !sends.empty() && sends.front().end <= acknowledged; sends.pop_front()) {
    sends.front().delivered(Delivery::acknowledged);
  }
}

void RTMPSocket::checkOutput(platform::NWConnection::Progress progress) {
  const auto now = std::chrono::steady_clock::now();
  // Only the server's acknowledgement is progress: the system takes bytes
  // (a little, but some) from a server that reads nothing.
  if (progress.acknowledged > acknowledged_) {
    acknowledged_ = progress.acknowledged;
    lastOutputProgress_ = now;
    acknowledge(unacknowledged_, acknowledged_);
  }
  if (!outputDue()) return;
  if (now - lastOutputProgress_ >= timeout_) {
    return closeWith(Error(Error::Case::outputStalled, std::nullopt,
                           "the server stopped reading: it acknowledged nothing for " +
                               seconds(now - lastOutputProgress_) + ", " +
                               std::to_string(progress.written - acknowledged_ + std::uint64_t(queueBytesOut_)) +
                               " bytes wait"));
  }
  watchOutput();
}

void RTMPSocket::close() {
  asio::dispatch(strand(), [self = shared_from_this()] { self->closeWith(std::nullopt); });
}

platform::Async<void> RTMPSocket::shutdown() {
  return isolated([this] { return shutdownBody(); });
}

platform::Async<void> RTMPSocket::shutdownBody() {
  if (closing_ != Closing::none) co_return;
  if (!connected_) co_return closeWith(std::nullopt);
  const std::uint64_t generation = generation_;
  const auto deadline = std::chrono::steady_clock::now() + timeout_;
  closing_ = Closing::draining;
  if (outputPending()) co_await waitForClosingStep(deadline, [] {});
  if (generation != generation_) co_return;
  if (outputPending()) {
    TP_WARN(logger(), "Closing with ", queueBytesOut_, " bytes unsent: they were not taken within ",
            seconds(timeout_), ".");
    co_return closeWith(std::nullopt);
  }
  closing_ = Closing::ending;
  co_await waitForClosingStep(deadline, [this, deadline] {
    connection_->cancel(std::max(deadline - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration{}));
  });
  if (generation != generation_) co_return;
  co_await waitForClosingStep(std::chrono::steady_clock::now() + kSettleLimit, [this] {
    closeWith(std::nullopt, [self = shared_from_this()] {
      if (self->closingStep_) self->closingStep_->resume();
    });
  });
}

platform::Async<void> RTMPSocket::waitForClosingStep(std::chrono::steady_clock::time_point deadline,
                                                     std::function<void()> start) {
  try {
    co_await platform::withContinuation<void>(
        [&](platform::Continuation<void> waiter) {
          closingStep_ = waiter;
          start();
        },
        std::max(deadline - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration{}));
  } catch (const platform::ContinuationError&) {
    // Out of time: the caller closes at once.
  }
  closingStep_.reset();
}

void RTMPSocket::closeWith(std::optional<Error> reason, std::function<void()> settled) {
  if (!connection_) return;
  ++generation_;
  if (pendingConnect_) {
    pendingConnect_->resumeThrowing(
        Error(Error::Case::connectionNotEstablished, reason ? reason->networkError() : std::nullopt));
    pendingConnect_.reset();
  } else if (reason) {
    TP_WARN(logger(), "Closing: ", reason->what());
  }
  closeReason_ = std::move(reason);
  connected_ = false;
  sending_ = false;
  sendingNotice_ = nullptr;
  receiving_ = false;
  watchingOutput_ = false;
  readingProgress_ = false;
  closing_ = Closing::none;
  outgoing_.clear();
  timer_.cancel();
  outputTimer_.cancel();
  if (closingStep_ && !settled) closingStep_->resume();
  // The last word on what arrived: read before the cut, told before the
  // received sequence ends, which is how the owner learns of the close.
  auto unacknowledged = std::make_shared<UnacknowledgedSends>(std::move(unacknowledged_));
  unacknowledged_.clear();
  connection_->progress([self = shared_from_this(), unacknowledged, incoming = std::exchange(incoming_, std::nullopt),
                         settled = std::move(settled)](platform::NWConnection::Progress progress) {
    asio::post(self->strand(), [unacknowledged, incoming, settled, progress] {
      acknowledge(*unacknowledged, progress.acknowledged);
      if (incoming) incoming->finish();
      if (settled) settled();
    });
  });
  connection_->forceCancel();
  connection_.reset();
}

platform::Async<bool> RTMPSocket::connected() {
  return isolated([self = shared_from_this()]() -> platform::Async<bool> { co_return self->connected_; });
}

platform::Async<std::optional<RTMPSocket::Error>> RTMPSocket::closeReason() {
  return isolated([self = shared_from_this()]() -> platform::Async<std::optional<Error>> {
    co_return self->closeReason_;
  });
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
