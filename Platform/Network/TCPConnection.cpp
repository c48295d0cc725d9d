#include "Platform/Network/TCPConnection.hpp"

#include <algorithm>
#include <array>
#include <asio/bind_executor.hpp>
#include <asio/connect.hpp>
#include <asio/post.hpp>
#include <asio/write.hpp>
#include <linux/pkt_sched.h>
#include <linux/sockios.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>

namespace platform {
namespace {

// The socket priority of each quality of service, in the bands the default
// queueing discipline sorts by; none of them needs privileges.
int socketPriority(DispatchQoS qualityOfService) {
  switch (qualityOfService) {
    case DispatchQoS::background: return TC_PRIO_FILLER;
    case DispatchQoS::utility: return TC_PRIO_BULK;
    case DispatchQoS::standard: return TC_PRIO_BESTEFFORT;
    case DispatchQoS::userInitiated: return TC_PRIO_INTERACTIVE_BULK;
    case DispatchQoS::userInteractive: return TC_PRIO_INTERACTIVE;
  }
  return TC_PRIO_BESTEFFORT;
}

}  // namespace

std::shared_ptr<TCPConnection> TCPConnection::make(std::string host, std::uint16_t port, DispatchQoS qualityOfService,
                                                   Executor executor) {
  return std::shared_ptr<TCPConnection>(
      new TCPConnection(StrandExecutor(std::move(executor)), std::move(host), port, qualityOfService));
}

TCPConnection::TCPConnection(StrandExecutor strand, std::string host, std::uint16_t port,
                             DispatchQoS qualityOfService)
    : NWConnection(strand),
      host_(std::move(host)),
      port_(port),
      qualityOfService_(qualityOfService),
      resolver_(strand),
      socket_(strand),
      closeTimer_(strand),
      acknowledgementTimer_(strand) {}

void TCPConnection::start() {
  asio::post(strand(), [self = self()] {
    if (self->state() != State::setup) return;
    self->report(State::preparing);
    self->resolver_.async_resolve(
        self->host_, std::to_string(self->port_),
        asio::bind_executor(self->strand(), [self](const std::error_code& error, auto endpoints) {
          self->onResolved(error, endpoints);
        }));
  });
}

void TCPConnection::onResolved(const std::error_code& error, const asio::ip::tcp::resolver::results_type& endpoints) {
  if (state() != State::preparing) return;
  if (error) return fail(error);
  asio::async_connect(socket_, endpoints,
                      asio::bind_executor(strand(), [self = self()](const std::error_code& error, auto) {
                        self->onConnected(error);
                      }));
}

void TCPConnection::onConnected(const std::error_code& error) {
  if (state() != State::preparing) return;
  if (error) return fail(error);
  socket_.set_option(asio::ip::tcp::no_delay(true));
  // Refused only for priorities that need privileges, which none of ours does.
  const int priority = socketPriority(qualityOfService_);
  ::setsockopt(socket_.native_handle(), SOL_SOCKET, SO_PRIORITY, &priority, sizeof priority);
  // Otherwise the system's buffer grows to megabytes and takes whatever we
  // write long after the peer stopped keeping up.
  const int lowWater = kNotSentLowWater;
  ::setsockopt(socket_.native_handle(), IPPROTO_TCP, TCP_NOTSENT_LOWAT, &lowWater, sizeof lowWater);
  // A send writes what the socket takes at once and leaves the rest to the reactor.
  socket_.non_blocking(true);
  report(State::ready);
}

void TCPConnection::fail(const std::error_code& error) {
  close();
  report(meansNoPath(error) ? State::waiting : State::failed, NWError(error));
}

void TCPConnection::close() {
  // What the peer had acknowledged stays known after the socket is gone.
  unacknowledgedBytes();
  std::error_code ignored;
  resolver_.cancel();
  socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
  socket_.close(ignored);
}

void TCPConnection::noteTransferError(const std::error_code& error) {
  if (state() == State::ready && !closing_ && meansNoPath(error)) reportNotViable();
}

void TCPConnection::receive(std::size_t maximumLength, ReceiveCompletion completion) {
  asio::post(strand(), [self = self(), maximumLength, completion = std::move(completion)]() mutable {
    if (self->state() != State::ready || self->receiving_ || self->closing_) {
      return completion({}, NWError(self->receiving_ ? asio::error::in_progress : asio::error::not_connected));
    }
    self->receiving_ = true;
    auto buffer = std::make_shared<Bytes>(maximumLength);
    self->socket_.async_read_some(
        asio::buffer(*buffer),
        asio::bind_executor(self->strand(), [self, buffer, completion = std::move(completion)](
                                                const std::error_code& error, std::size_t count) mutable {
          self->receiving_ = false;
          buffer->resize(count);
          if (count > 0) return completion(std::move(*buffer), std::nullopt);
          if (error == asio::error::eof) return completion({}, std::nullopt);
          self->noteTransferError(error);
          completion({}, NWError(error ? error : asio::error::eof));
        }));
  });
}

void TCPConnection::send(OutgoingBytes content, SendCompletion completion) {
  asio::post(strand(), [self = self(), content = std::move(content), completion = std::move(completion)]() mutable {
    if (self->state() != State::ready || self->sending_) {
      return completion(NWError(self->sending_ ? asio::error::in_progress : asio::error::not_connected));
    }
    self->write(std::move(content), std::move(completion));
  });
}

void TCPConnection::write(OutgoingBytes content, SendCompletion completion) {
  // Most sends fit the socket's buffer: written here, they complete without
  // a trip through the reactor and another thread.
  std::error_code error;
  const std::size_t written = asio::write(socket_, asio::buffer(content), error);
  bytesWritten_ += written;
  if (written == content.size()) return completion(std::nullopt);
  if (error != asio::error::would_block && error != asio::error::try_again) {
    noteTransferError(error);
    return completion(NWError(error));
  }
  sending_ = true;
  auto buffer = std::make_shared<OutgoingBytes>(std::move(content));
  // What the system took of the rest so far; asio asks the condition after
  // each partial write but the last, which the completion adds.
  auto counted = std::make_shared<std::size_t>(0);
  const auto count = [self = self(), counted](std::size_t transferred) {
    self->bytesWritten_ += transferred - *counted;
    *counted = transferred;
  };
  auto counting = [count](const std::error_code& error, std::size_t transferred) -> std::size_t {
    count(transferred);
    return error ? 0 : asio::detail::default_max_transfer_size;
  };
  auto done = asio::bind_executor(strand(), [self = self(), buffer, count, completion = std::move(completion)](
                                                const std::error_code& error, std::size_t transferred) {
    count(transferred);
    self->sending_ = false;
    if (!error) return completion(std::nullopt);
    self->noteTransferError(error);
    completion(NWError(error));
  });
  asio::async_write(socket_, asio::buffer(*buffer) + written, std::move(counting), std::move(done));
}

void TCPConnection::cancel(std::chrono::steady_clock::duration grace) {
  asio::post(strand(), [self = self(), grace] {
    if (self->state() == State::cancelled || self->closing_) return;
    // Nothing can end the stream cleanly before it is up or halfway through a send.
    if (self->state() != State::ready || self->sending_) return self->finishCancel();
    self->closing_ = true;
    std::error_code ignored;
    // Ends a pending receive; its owner is told through the state.
    self->socket_.cancel(ignored);
    self->closeTimer_.expires_after(grace);
    self->closeTimer_.async_wait(asio::bind_executor(self->strand(), [self](const std::error_code& error) {
      if (!error) self->finishCancel();
    }));
    self->endStream([self] { self->finishCancel(); });
  });
}

void TCPConnection::finishCancel() {
  if (state() == State::cancelled) return;
  closeTimer_.cancel();
  acknowledgementTimer_.cancel();
  close();
  report(State::cancelled);
}

void TCPConnection::endStream(const std::function<void()>& done) {
  std::error_code ignored;
  socket_.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
  discardUntilEnd(done);
  awaitAcknowledged(done);
}

void TCPConnection::awaitAcknowledged(std::function<void()> done) {
  // Closing with unread input resets the link, which may cost the peer what
  // it has not read yet; once it acknowledged everything, that is safe.
  if (unacknowledgedBytes() == 0) return done();
  acknowledgementTimer_.expires_after(std::chrono::milliseconds(10));
  acknowledgementTimer_.async_wait(
      asio::bind_executor(strand(), [self = self(), done = std::move(done)](const std::error_code& error) mutable {
        if (!error) self->awaitAcknowledged(std::move(done));
      }));
}

std::uint64_t TCPConnection::unacknowledgedBytes() {
  int unacknowledged = 0;
  if (socket_.is_open() && ::ioctl(socket_.native_handle(), SIOCOUTQ, &unacknowledged) == 0) {
    lastUnacknowledged_ = static_cast<std::uint64_t>(std::max(unacknowledged, 0));
  }
  return lastUnacknowledged_;
}

void TCPConnection::progress(std::function<void(Progress)> completion) {
  asio::post(strand(), [self = self(), completion = std::move(completion)] {
    const auto unacknowledged = std::min(self->unacknowledgedBytes(), self->bytesWritten_);
    completion(Progress{self->bytesWritten_, self->bytesWritten_ - unacknowledged});
  });
}

void TCPConnection::discardUntilEnd(std::function<void()> done) {
  auto buffer = std::make_shared<std::array<std::uint8_t, 4096>>();
  socket_.async_read_some(asio::buffer(*buffer),
                          asio::bind_executor(strand(), [self = self(), buffer, done = std::move(done)](
                                                            const std::error_code& error, std::size_t) mutable {
                            if (error) return done();
                            self->discardUntilEnd(std::move(done));
                          }));
}

void TCPConnection::forceCancel() {
  asio::post(strand(), [self = self()] {
    self->detach();
    self->closeTimer_.cancel();
    self->acknowledgementTimer_.cancel();
    self->close();
  });
}

}  // namespace platform
