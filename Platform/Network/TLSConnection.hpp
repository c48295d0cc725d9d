#pragma once

#include <asio/ssl/context.hpp>
#include <asio/ssl/stream.hpp>
#include <asio/steady_timer.hpp>
#include <deque>

#include "Platform/Network/ConnectionByteStream.hpp"
#include "Platform/Network/NWConnection.hpp"

namespace platform {

// TLS 1.2 or later over a connection of its own (TCP): once that is ready it
// runs the handshake over it, with SNI and the peer's certificate checked
// against the system's trust store (or the file SSL_CERT_FILE names) and the
// host name. The transport's failures and lost path come through as its own.
class TLSConnection final : public NWConnection {
 public:
  static std::shared_ptr<TLSConnection> make(std::string host, std::shared_ptr<NWConnection> transport);
  ~TLSConnection() override;

  void start() override;
  void receive(std::size_t maximumLength, ReceiveCompletion completion) override;
  void send(OutgoingBytes content, SendCompletion completion) override;
  // In our bytes: a send counts as acknowledged once the transport's peer
  // acknowledged the last byte of the records it became.
  void progress(std::function<void(Progress)> completion) override;
  void cancel(std::chrono::steady_clock::duration grace) override;
  void forceCancel() override;

 private:
  TLSConnection(std::string host, std::shared_ptr<NWConnection> transport);

  std::shared_ptr<TLSConnection> self() { return std::static_pointer_cast<TLSConnection>(shared_from_this()); }
  void transportDidChange(State state, std::optional<NWError> error);
  void onHandshake(const std::error_code& error);
  // Ends the transport at once and reports `state`.
  void abandon(State state, std::optional<NWError> error = std::nullopt);

  const std::string host_;
  const std::shared_ptr<NWConnection> transport_;
  asio::ssl::context context_;
  asio::ssl::stream<ConnectionByteStream> stream_;
  asio::steady_timer closeTimer_;
  // The pending receive's owner; a cancel tells it at once, not when the
  // transport gives the read up.
  ReceiveCompletion pendingReceive_;
  // Sends not known acknowledged yet: where their records end in the
  // transport's bytes, and where they end in ours.
  struct SentEnd {
    std::uint64_t transportEnd;
    std::uint64_t end;
  };
  std::deque<SentEnd> unacknowledged_;
  std::uint64_t written_ = 0;
  std::uint64_t acknowledged_ = 0;
  bool receiving_ = false;
  bool sending_ = false;
  bool closing_ = false;
};

}  // namespace platform
