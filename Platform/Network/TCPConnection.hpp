#pragma once

#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include "Platform/Network/DispatchQoS.hpp"
#include "Platform/Network/NWConnection.hpp"

namespace platform {

// A TCP connection: resolves the host, connects with no delay and the
// socket priority of its quality of service. A send or receive that fails
// for want of a path to the peer first reports the connection not viable.
class TCPConnection final : public NWConnection {
 public:
  static std::shared_ptr<TCPConnection> make(std::string host, std::uint16_t port, DispatchQoS qualityOfService,
                                             Executor executor = networkExecutor());

  void start() override;
  void receive(std::size_t maximumLength, ReceiveCompletion completion) override;
  void send(OutgoingBytes content, SendCompletion completion) override;
  void progress(std::function<void(Progress)> completion) override;
  void cancel(std::chrono::steady_clock::duration grace) override;
  void forceCancel() override;

 private:
  TCPConnection(StrandExecutor strand, std::string host, std::uint16_t port, DispatchQoS qualityOfService);

  std::shared_ptr<TCPConnection> self() { return std::static_pointer_cast<TCPConnection>(shared_from_this()); }
  void fail(const std::error_code& error);
  void close();
  void onResolved(const std::error_code& error, const asio::ip::tcp::resolver::results_type& endpoints);
  void onConnected(const std::error_code& error);
  // Writes what the socket takes at once, then the rest through the reactor.
  void write(OutgoingBytes content, SendCompletion completion);
  // The path check every failed transfer goes through before its owner hears of it.
  void noteTransferError(const std::error_code& error);
  void finishCancel();
  // Ends our side of the stream and runs `done` once the peer closes too
  // or has acknowledged everything, whichever comes first.
  void endStream(const std::function<void()>& done);
  // Reads and drops what the peer sends until it closes, then runs `done`.
  void discardUntilEnd(std::function<void()> done);
  void awaitAcknowledged(std::function<void()> done);
  // Bytes written that the peer has not acknowledged; as last seen once the
  // socket is closed.
  std::uint64_t unacknowledgedBytes();

  const std::string host_;
  const std::uint16_t port_;
  const DispatchQoS qualityOfService_;
  asio::ip::tcp::resolver resolver_;
  asio::ip::tcp::socket socket_;
  asio::steady_timer closeTimer_;
  asio::steady_timer acknowledgementTimer_;
  bool receiving_ = false;
  bool sending_ = false;
  bool closing_ = false;
  std::uint64_t bytesWritten_ = 0;
  std::uint64_t lastUnacknowledged_ = 0;
};

}  // namespace platform
