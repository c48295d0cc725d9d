#include "Platform/Network/NWConnection.hpp"

#include <algorithm>
#include <array>
#include <asio/bind_executor.hpp>
#include <asio/connect.hpp>
#include <asio/post.hpp>
#include <asio/write.hpp>
#include <openssl/ssl.h>
#include <linux/pkt_sched.h>
#include <linux/sockios.h>
#include <openssl/x509.h>
#include <sys/ioctl.h>

namespace platform {
namespace {

asio::ssl::context makeContext(const NWParameters& parameters) {
  asio::ssl::context context(asio::ssl::context::tls_client);
  if (parameters.security == NWParameters::Security::tls) {
    SSL_CTX_set_min_proto_version(context.native_handle(), TLS1_2_VERSION);
    context.set_default_verify_paths();
    context.set_verify_mode(asio::ssl::verify_peer);
  }
  return context;
}

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

std::shared_ptr<NWConnection> NWConnection::make(std::string host, std::uint16_t port, NWParameters parameters,
                                                 Executor executor) {
  return std::shared_ptr<NWConnection>(new NWConnection(std::move(host), port, parameters, std::move(executor)));
}

NWConnection::NWConnection(std::string host, std::uint16_t port, NWParameters parameters, Executor executor)
    : host_(std::move(host)),
      port_(port),
      parameters_(parameters),
      strand_(asio::make_strand(std::move(executor))),
      context_(makeContext(parameters)),
      resolver_(strand_),
      stream_(strand_, context_),
      closeTimer_(strand_),
      acknowledgementTimer_(strand_) {}

NWConnection::~NWConnection() = default;

void NWConnection::setStateUpdateHandler(StateUpdateHandler handler) {
  asio::post(strand_, [self = shared_from_this(), handler = std::move(handler)]() mutable {
    self->stateUpdateHandler_ = std::move(handler);
  });
}

void NWConnection::report(State state, std::optional<NWError> error) {
  state_ = state;
  if (stateUpdateHandler_) stateUpdateHandler_(state, std::move(error));
}

void NWConnection::start() {
  asio::post(strand_, [self = shared_from_this()] {
    if (self->state_ != State::setup) return;
    self->report(State::preparing);
    self->resolver_.async_resolve(
        self->host_, std::to_string(self->port_),
        asio::bind_executor(self->strand_, [self](const std::error_code& error, auto endpoints) {
          self->onResolved(error, endpoints);
        }));
  });
}

void NWConnection::onResolved(const std::error_code& error, const asio::ip::tcp::resolver::results_type& endpoints) {
  if (state_ != State::preparing) return;
  if (error) return fail(error);
  asio::async_connect(stream_.next_layer(), endpoints,
                      asio::bind_executor(strand_, [self = shared_from_this()](const std::error_code& error, auto) {
                        self->onConnected(error);
                      }));
}

void NWConnection::onConnected(const std::error_code& error) {
  if (state_ != State::preparing) return;
  if (error) return fail(error);
  stream_.next_layer().set_option(asio::ip::tcp::no_delay(true));
  // Refused only for priorities that need privileges, which none of ours does.
  const int priority = socketPriority(parameters_.qualityOfService);
  ::setsockopt(stream_.next_layer().native_handle(), SOL_SOCKET, SO_PRIORITY, &priority, sizeof priority);
  if (parameters_.security == NWParameters::Security::none) {
    // A send writes what the socket takes at once and leaves the rest to the reactor.
    stream_.next_layer().non_blocking(true);
    return report(State::ready);
  }
  SSL* ssl = stream_.native_handle();
  SSL_set_tlsext_host_name(ssl, host_.c_str());
  // Checked by the chain verification itself (names, or an address given as
  // one), so a mismatch is named in the verify result like any other refusal.
  SSL_set1_host(ssl, host_.c_str());
  stream_.async_handshake(asio::ssl::stream_base::client,
                          asio::bind_executor(strand_, [self = shared_from_this()](const std::error_code& error) {
                            self->onHandshake(error);
                          }));
}

void NWConnection::onHandshake(const std::error_code& error) {
  if (state_ != State::preparing) return;
  if (!error) return report(State::ready);
  const long verifyResult = SSL_get_verify_result(stream_.native_handle());
  if (verifyResult == X509_V_OK) return fail(error);
  // The handshake error only says verification failed; the result says why.
  close();
  report(State::failed, NWError(error, X509_verify_cert_error_string(verifyResult)));
}

void NWConnection::fail(const std::error_code& error) {
  close();
  const bool noPath = error == asio::error::network_unreachable || error == asio::error::host_unreachable ||
                      error == asio::error::network_down;
  report(noPath ? State::waiting : State::failed, NWError(error));
}

void NWConnection::close() {
  std::error_code ignored;
  resolver_.cancel();
  stream_.next_layer().shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
  stream_.next_layer().close(ignored);
}

void NWConnection::receive(std::size_t maximumLength, ReceiveCompletion completion) {
  asio::post(strand_, [self = shared_from_this(), maximumLength, completion = std::move(completion)]() mutable {
    if (self->state_ != State::ready || self->receiving_ || self->closing_) {
      return completion({}, NWError(self->receiving_ ? asio::error::in_progress : asio::error::not_connected));
    }
    self->receiving_ = true;
    auto buffer = std::make_shared<Bytes>(maximumLength);
    auto done = asio::bind_executor(
        self->strand_, [self, buffer, completion = std::move(completion)](const std::error_code& error,
                                                                          std::size_t count) mutable {
          self->receiving_ = false;
          buffer->resize(count);
          if (count > 0) return completion(std::move(*buffer), std::nullopt);
          if (error == asio::error::eof) return completion({}, std::nullopt);
          completion({}, NWError(error ? error : asio::error::eof));
        });
    if (self->parameters_.security == NWParameters::Security::tls) {
      self->stream_.async_read_some(asio::buffer(*buffer), std::move(done));
    } else {
      self->stream_.next_layer().async_read_some(asio::buffer(*buffer), std::move(done));
    }
  });
}

void NWConnection::send(Bytes content, SendCompletion completion) {
  asio::post(strand_, [self = shared_from_this(), content = std::move(content),
                       completion = std::move(completion)]() mutable {
    if (self->state_ != State::ready || self->sending_) {
      return completion(NWError(self->sending_ ? asio::error::in_progress : asio::error::not_connected));
    }
    std::size_t written = 0;
    if (self->parameters_.security == NWParameters::Security::none) {
      // Most sends fit the socket's buffer: written here, they complete
      // without a trip through the reactor and another thread.
      std::error_code error;
      written = asio::write(self->stream_.next_layer(), asio::buffer(content), error);
      self->bytesWritten_ += written;
      if (written == content.size()) return completion(std::nullopt);
      if (error != asio::error::would_block && error != asio::error::try_again) {
        return completion(NWError(error));
      }
    }
    self->sending_ = true;
    auto buffer = std::make_shared<Bytes>(std::move(content));
    auto done = asio::bind_executor(
        self->strand_, [self, buffer, completion = std::move(completion)](const std::error_code& error, std::size_t) {
          self->sending_ = false;
          completion(error ? std::optional<NWError>(NWError(error)) : std::nullopt);
        });
    const auto rest = asio::buffer(*buffer) + written;
    // Asked after each partial write: counts what the system took so far.
    auto counting = [self, counted = std::size_t{0}](const std::error_code& error,
                                                       std::size_t transferred) mutable -> std::size_t {
      self->bytesWritten_ += transferred - counted;
      counted = transferred;
      return error ? 0 : asio::detail::default_max_transfer_size;
    };
    if (self->parameters_.security == NWParameters::Security::tls) {
      asio::async_write(self->stream_, rest, std::move(counting), std::move(done));
    } else {
      asio::async_write(self->stream_.next_layer(), rest, std::move(counting), std::move(done));
    }
  });
}

void NWConnection::cancel(std::chrono::steady_clock::duration grace) {
  asio::post(strand_, [self = shared_from_this(), grace] {
    if (self->state_ == State::cancelled || self->closing_) return;
    const auto finish = [self] {
      if (self->state_ == State::cancelled) return;
      self->closeTimer_.cancel();
      self->acknowledgementTimer_.cancel();
      self->close();
      self->report(State::cancelled);
    };
    // Half a TLS record may be on its way: nothing can end the stream cleanly.
    if (self->state_ != State::ready || self->sending_) return finish();
    self->closing_ = true;
    std::error_code ignored;
    // Ends a pending receive; its owner is told through the state.
    self->stream_.next_layer().cancel(ignored);
    self->closeTimer_.expires_after(grace);
    self->closeTimer_.async_wait(asio::bind_executor(self->strand_, [finish](const std::error_code& error) {
      if (!error) finish();
    }));
    if (self->parameters_.security == NWParameters::Security::none) return self->endStream(finish);
    // Only our close alert matters: marked as if the peer's had come, the
    // shutdown completes once ours is written.
    SSL_set_shutdown(self->stream_.native_handle(), SSL_RECEIVED_SHUTDOWN);
    self->stream_.async_shutdown(asio::bind_executor(self->strand_, [self, finish](const std::error_code& error) {
      if (error) return finish();
      self->endStream(finish);
    }));
  });
}

void NWConnection::endStream(const std::function<void()>& done) {
  std::error_code ignored;
  stream_.next_layer().shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
  discardUntilEnd(done);
  awaitAcknowledged(done);
}

void NWConnection::awaitAcknowledged(std::function<void()> done) {
  // Closing with unread input resets the link, which may cost the peer what
  // it has not read yet; once it acknowledged everything, that is safe.
  if (unacknowledgedBytes() == 0) return done();
  acknowledgementTimer_.expires_after(std::chrono::milliseconds(10));
  acknowledgementTimer_.async_wait(asio::bind_executor(
      strand_, [self = shared_from_this(), done = std::move(done)](const std::error_code& error) mutable {
        if (!error) self->awaitAcknowledged(std::move(done));
      }));
}

std::uint64_t NWConnection::unacknowledgedBytes() {
  int unacknowledged = 0;
  if (!stream_.next_layer().is_open() ||
      ::ioctl(stream_.next_layer().native_handle(), SIOCOUTQ, &unacknowledged) != 0) {
    return 0;
  }
  return static_cast<std::uint64_t>(std::max(unacknowledged, 0));
}

void NWConnection::progress(std::function<void(Progress)> completion) {
  asio::post(strand_, [self = shared_from_this(), completion = std::move(completion)] {
    completion(Progress{self->bytesWritten_, self->unacknowledgedBytes()});
  });
}

void NWConnection::discardUntilEnd(std::function<void()> done) {
  auto buffer = std::make_shared<std::array<std::uint8_t, 4096>>();
  stream_.next_layer().async_read_some(
      asio::buffer(*buffer), asio::bind_executor(strand_, [self = shared_from_this(), buffer,
                                                           done = std::move(done)](const std::error_code& error,
                                                                                   std::size_t) mutable {
        if (error) return done();
        self->discardUntilEnd(std::move(done));
      }));
}

void NWConnection::forceCancel() {
  asio::post(strand_, [self = shared_from_this()] {
    self->stateUpdateHandler_ = nullptr;
    self->state_ = State::cancelled;
    self->closeTimer_.cancel();
    self->acknowledgementTimer_.cancel();
    self->close();
  });
}

}  // namespace platform
