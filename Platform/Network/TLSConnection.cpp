#include "Platform/Network/TLSConnection.hpp"

#include <algorithm>
#include <asio/bind_executor.hpp>
#include <asio/post.hpp>
#include <asio/write.hpp>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace platform {
namespace {

// Sends remembered for acknowledgement while nobody asks: beyond it, the
// oldest merge into the next, which acknowledges them a little late.
constexpr std::size_t kSentEndsKept = 1024;

asio::ssl::context makeClientContext() {
  asio::ssl::context context(asio::ssl::context::tls_client);
  SSL_CTX_set_min_proto_version(context.native_handle(), TLS1_2_VERSION);
  context.set_default_verify_paths();
  context.set_verify_mode(asio::ssl::verify_peer);
  return context;
}

}  // namespace

std::shared_ptr<TLSConnection> TLSConnection::make(std::string host, std::shared_ptr<NWConnection> transport) {
  return std::shared_ptr<TLSConnection>(new TLSConnection(std::move(host), std::move(transport)));
}

TLSConnection::TLSConnection(std::string host, std::shared_ptr<NWConnection> transport)
    : NWConnection(transport->strand()),
      host_(std::move(host)),
      transport_(transport),
      context_(makeClientContext()),
      stream_(ConnectionByteStream(transport), context_),
      closeTimer_(transport->strand()) {}

TLSConnection::~TLSConnection() { transport_->forceCancel(); }

void TLSConnection::start() {
  asio::post(strand(), [self = self()] {
    if (self->state() != State::setup) return;
    const std::weak_ptr<TLSConnection> weak = self;
    self->transport_->setStateUpdateHandler([weak](State state, std::optional<NWError> error) {
      if (auto self = weak.lock()) self->transportDidChange(state, std::move(error));
    });
    self->transport_->setViabilityUpdateHandler([weak](bool viable) {
      auto self = weak.lock();
      if (self && !viable) self->reportNotViable();
    });
    self->transport_->start();
  });
}

void TLSConnection::transportDidChange(State state, std::optional<NWError> error) {
  if (this->state() == State::cancelled) return;
  switch (state) {
    case State::setup: return;
    case State::preparing: return report(State::preparing);
    case State::ready: break;
    case State::waiting:
    case State::failed: return report(state, std::move(error));
    case State::cancelled:
      closeTimer_.cancel();
      return report(State::cancelled);
  }
  SSL* ssl = stream_.native_handle();
  SSL_set_tlsext_host_name(ssl, host_.c_str());
  // Checked by the chain verification itself (names, or an address given as
  // one), so a mismatch is named in the verify result like any other refusal.
  SSL_set1_host(ssl, host_.c_str());
  stream_.async_handshake(asio::ssl::stream_base::client,
                          asio::bind_executor(strand(), [self = self()](const std::error_code& error) {
                            self->onHandshake(error);
                          }));
}

void TLSConnection::onHandshake(const std::error_code& error) {
  if (state() != State::preparing) return;
  if (!error) return report(State::ready);
  const long verifyResult = SSL_get_verify_result(stream_.native_handle());
  // The handshake error only says verification failed; the result says why.
  if (verifyResult != X509_V_OK) return abandon(State::failed, NWError(error, X509_verify_cert_error_string(verifyResult)));
  abandon(State::failed, NWError(error));
}

void TLSConnection::abandon(State state, std::optional<NWError> error) {
  closeTimer_.cancel();
  transport_->forceCancel();
  report(state, std::move(error));
}

void TLSConnection::receive(std::size_t maximumLength, ReceiveCompletion completion) {
  asio::post(strand(), [self = self(), maximumLength, completion = std::move(completion)]() mutable {
    if (self->state() != State::ready || self->receiving_ || self->closing_) {
      return completion({}, NWError(self->receiving_ ? asio::error::in_progress : asio::error::not_connected));
    }
    self->receiving_ = true;
    self->pendingReceive_ = std::move(completion);
    auto buffer = std::make_shared<Bytes>(maximumLength);
    self->stream_.async_read_some(
        asio::buffer(*buffer),
        asio::bind_executor(self->strand(), [self, buffer](const std::error_code& error, std::size_t count) {
          self->receiving_ = false;
          const auto completion = std::exchange(self->pendingReceive_, nullptr);
          if (!completion) return;
          buffer->resize(count);
          if (count > 0) return completion(std::move(*buffer), std::nullopt);
          // Only after the peer's close alert: a cut stream is an error.
          if (error == asio::error::eof) return completion({}, std::nullopt);
          completion({}, NWError(error ? error : asio::error::eof));
        }));
  });
}

void TLSConnection::send(OutgoingBytes content, SendCompletion completion) {
  asio::post(strand(), [self = self(), content = std::move(content), completion = std::move(completion)]() mutable {
    if (self->state() != State::ready || self->sending_) {
      return completion(NWError(self->sending_ ? asio::error::in_progress : asio::error::not_connected));
    }
    self->sending_ = true;
    auto buffer = std::make_shared<OutgoingBytes>(std::move(content));
    asio::async_write(self->stream_, asio::buffer(*buffer),
                      asio::bind_executor(self->strand(), [self, buffer, completion = std::move(completion)](
                                                              const std::error_code& error, std::size_t) {
                        self->sending_ = false;
                        if (error) return completion(NWError(error));
                        self->written_ += buffer->size();
                        if (self->unacknowledged_.size() == kSentEndsKept) self->unacknowledged_.pop_front();
                        self->unacknowledged_.push_back({self->stream_.next_layer().written(), self->written_});
                        completion(std::nullopt);
                      }));
  });
}

void TLSConnection::progress(std::function<void(Progress)> completion) {
  // The transport answers on the strand we share.
  transport_->progress([self = self(), completion = std::move(completion)](Progress transport) {
    auto& sent = self->unacknowledged_;
    for (; !sent.empty() && sent.front().transportEnd <= transport.acknowledged; sent.pop_front()) {
      self->acknowledged_ = sent.front().end;
    }
    completion(Progress{self->written_, self->acknowledged_});
  });
}

void TLSConnection::cancel(std::chrono::steady_clock::duration grace) {
  asio::post(strand(), [self = self(), grace] {
    if (self->state() == State::cancelled || self->closing_) return;
    // Half a record may be on its way: nothing can end the stream cleanly.
    if (self->state() != State::ready || self->sending_) return self->abandon(State::cancelled);
    self->closing_ = true;
    if (auto receive = std::exchange(self->pendingReceive_, nullptr)) {
      receive({}, NWError(asio::error::operation_aborted));
    }
    const auto deadline = std::chrono::steady_clock::now() + grace;
    self->closeTimer_.expires_at(deadline);
    self->closeTimer_.async_wait(asio::bind_executor(self->strand(), [self](const std::error_code& error) {
      if (!error) self->abandon(State::cancelled);
    }));
    // Only our close alert matters: marked as if the peer's had come, the
    // shutdown completes once ours is written.
    SSL_set_shutdown(self->stream_.native_handle(), SSL_RECEIVED_SHUTDOWN);
    self->stream_.async_shutdown(asio::bind_executor(self->strand(), [self, deadline](const std::error_code& error) {
      if (self->state() != State::ready) return;
      if (error) return self->abandon(State::cancelled);
      // The transport ends its stream in what is left of the grace and reports cancelled.
      self->transport_->cancel(std::max(deadline - std::chrono::steady_clock::now(),
                                        std::chrono::steady_clock::duration::zero()));
    }));
  });
}

void TLSConnection::forceCancel() {
  asio::post(strand(), [self = self()] {
    self->detach();
    self->closeTimer_.cancel();
    self->transport_->forceCancel();
  });
}

}  // namespace platform
