#pragma once

#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Fluvio/Sources/Network/NetworkTransportReporter.hpp"
#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/Concurrency/Continuation.hpp"
#include "Platform/Network/NWConnection.hpp"

namespace rtmpfluvio {

// The byte transport under a connection: one TCP or TLS connection at a time,
// received bytes as a sequence that finishes whenever the link goes, and an
// ordered outgoing queue with one send in flight. Counts bytes in, out and
// queued for the network monitor.
class RTMPSocket : public fluvio::NetworkTransportReporter, public std::enable_shared_from_this<RTMPSocket> {
 public:
  using Bytes = std::vector<std::uint8_t>;

  class Error : public std::exception {
   public:
    enum class Case { connectionNotEstablished, invalidState, connectionTimedOut };
    explicit Error(Case errorCase, std::optional<platform::NWError> networkError = std::nullopt);
    Case errorCase() const noexcept { return case_; }
    // The network's reason, for connectionNotEstablished.
    const std::optional<platform::NWError>& networkError() const noexcept { return networkError_; }
    const char* what() const noexcept override { return text_.c_str(); }

   private:
    Case case_;
    std::optional<platform::NWError> networkError_;
    std::string text_;
  };

  static constexpr std::size_t kReceiveSize = 64 * 1024;
  // Bytes waiting to be sent beyond which the socket closes: about a minute
  // of a 2 Mbit/s publication.
  static constexpr std::int64_t kMaxQueuedBytes = 16 * 1024 * 1024;

  RTMPSocket(Key key, platform::NWParameters parameters, std::chrono::steady_clock::duration timeout,
             platform::Executor executor);
  static std::shared_ptr<RTMPSocket> make(platform::NWParameters parameters,
                                          std::chrono::steady_clock::duration timeout = std::chrono::seconds(15),
                                          platform::Executor executor = platform::networkExecutor());

  // Opens a connection and returns the sequence of received bytes, which
  // finishes when the socket closes for any reason. Throws invalidState while
  // connected or connecting, connectionNotEstablished for a port outside
  // 1...65535, a failed connection or a close meanwhile, connectionTimedOut
  // when it is not ready within the time-out.
  platform::Async<platform::AsyncStream<Bytes>> connect(std::string host, std::int64_t port);
  // Queues bytes; dropped unless connected. Safe from any thread, and bytes
  // queued from one thread leave in that order. A failed send, or more than
  // kMaxQueuedBytes waiting, closes the socket.
  void send(Bytes bytes);
  // Tears the connection down; a pending connect fails. Safe from any thread.
  void close();
  platform::Async<bool> connected();

  platform::Async<std::shared_ptr<fluvio::NetworkMonitor>> makeNetworkMonitor() override;
  platform::Async<fluvio::NetworkTransportReport> makeNetworkTransportReport() override;

 private:
  platform::Async<platform::AsyncStream<Bytes>> connectBody(std::string host, std::int64_t port);
  void stateDidChange(std::uint64_t generation, platform::NWConnection::State state,
                      std::optional<platform::NWError> error);
  void receiveNext();
  void sendNext();
  void closeWith(std::optional<platform::NWError> error);
  // Runs `body` on the socket's strand for the current connection only.
  template <class Body>
  auto onStrand(Body body);

  const platform::NWParameters parameters_;
  const std::chrono::steady_clock::duration timeout_;
  asio::steady_timer timer_;
  std::shared_ptr<platform::NWConnection> connection_;
  // Tells the handlers of an old connection from the current one's.
  std::uint64_t generation_ = 0;
  bool connected_ = false;
  std::optional<platform::Continuation<void>> pendingConnect_;
  std::optional<platform::AsyncStream<Bytes>::Continuation> incoming_;
  std::deque<Bytes> outgoing_;
  bool sending_ = false;
  std::int64_t totalBytesIn_ = 0;
  std::int64_t queueBytesOut_ = 0;
  std::int64_t totalBytesOut_ = 0;
};

}  // namespace rtmpfluvio
