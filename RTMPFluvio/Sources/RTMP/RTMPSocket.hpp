#pragma once

#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Fluvio/Sources/Network/NetworkTransportReporter.hpp"
#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/Concurrency/BlockPool.hpp"
#include "Platform/Concurrency/Continuation.hpp"
#include "Platform/Network/NWConnection.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPDeliveryNotice.hpp"

namespace rtmpfluvio {

// The byte transport under a connection: one TCP or TLS connection at a time,
// received bytes as a sequence that finishes whenever the link goes, and an
// ordered outgoing queue with one send in flight. Counts bytes in, out and
// queued for the network monitor. It may share the strand of the connection
// above it, which then calls it without a hop; the network connection does
// its I/O on the strand's inner executor.
class RTMPSocket : public fluvio::NetworkTransportReporter, public std::enable_shared_from_this<RTMPSocket> {
 public:
  using Bytes = std::vector<std::uint8_t>;
  using Delivery = RTMPDelivery;
  using DeliveryNotice = RTMPDeliveryNotice;

  class Error : public std::exception {
   public:
    enum class Case {
      connectionNotEstablished,
      invalidState,
      // The server ended the stream it sends.
      endOfStream,
      connectionTimedOut,
      // The server acknowledged nothing of what waits for the time-out, or
      // output grew too large: the server stopped reading.
      outputStalled,
    };
    explicit Error(Case errorCase, std::optional<platform::NWError> networkError = std::nullopt,
                   std::string cause = {});
    Case errorCase() const noexcept { return case_; }
    // The network's reason, for connectionNotEstablished.
    const std::optional<platform::NWError>& networkError() const noexcept { return networkError_; }
    // What happened, in words for the user; empty when the case says it all.
    const std::string& cause() const noexcept { return cause_; }
    const char* what() const noexcept override { return text_.c_str(); }

   private:
    Case case_;
    std::optional<platform::NWError> networkError_;
    std::string cause_;
    std::string text_;
  };

  static constexpr std::size_t kReceiveSize = 64 * 1024;
  // Bytes waiting to be sent beyond which the socket closes: about a minute
  // of a 2 Mbit/s publication.
  static constexpr std::int64_t kMaxQueuedBytes = 16 * 1024 * 1024;
  // Each time this many more sends wait for acknowledgement the socket asks
  // at once rather than at its next check.
  static constexpr std::size_t kUnacknowledgedBatch = 64;
  // How long a close waits to hear what the server acknowledged last.
  static constexpr std::chrono::seconds kSettleLimit{1};

  RTMPSocket(Key key, platform::NWParameters parameters, std::chrono::steady_clock::duration timeout,
             SharedStrand shared);
  // On a strand of its own.
  static std::shared_ptr<RTMPSocket> make(platform::NWParameters parameters,
                                          std::chrono::steady_clock::duration timeout = std::chrono::seconds(15),
                                          platform::Executor executor = platform::networkExecutor());
  // On the strand of the actor that owns it.
  static std::shared_ptr<RTMPSocket> make(platform::NWParameters parameters,
                                          std::chrono::steady_clock::duration timeout, SharedStrand shared);

  // Opens a connection and returns the sequence of received bytes, which
  // finishes when the socket closes for any reason. Throws invalidState while
  // connected or connecting, connectionNotEstablished for a port outside
  // 1...65535, a failed connection or a close meanwhile, connectionTimedOut
  // when it is not ready within the time-out.
  platform::Async<platform::AsyncStream<Bytes>> connect(std::string host, std::int64_t port);
  // Queues bytes; dropped unless connected and not shutting down. Safe from
  // any thread (on the socket's strand it queues at once), and bytes queued
  // from one thread leave in that order; `delivered` hears how far they got.
  // A failed send, more than kMaxQueuedBytes waiting, or output of which the
  // server acknowledges nothing for the time-out closes the socket.
  void send(platform::OutgoingBytes bytes, DeliveryNotice delivered = {});
  // Tears the connection down at once; a pending connect fails. What the
  // server had acknowledged by then is still told, before the received
  // sequence finishes. Safe from any thread.
  void close();
  // Writes what is queued, then ends the stream (TLS with its close alert)
  // and closes; the whole bounded by the time-out, after which it closes at
  // once. Received bytes still arrive meanwhile. Returns once every send the
  // server acknowledged has been told so.
  platform::Async<void> shutdown();
  platform::Async<bool> connected();
  // Reading waits while `admitsMore` says no: the receive in flight still
  // arrives, then no more is read until receiveAdmitted() finds it saying yes
  // again. Set before connect; called on the socket's strand.
  void setReceiveGate(std::function<bool()> admitsMore);
  // The gate may have opened: reading goes on if it has. Safe from any thread.
  void receiveAdmitted();
  // Why the socket closed on its own (the received sequence finished); none
  // after close() or shutdown(), or while open.
  platform::Async<std::optional<Error>> closeReason();

  platform::Async<std::shared_ptr<fluvio::NetworkMonitor>> makeNetworkMonitor() override;
  platform::Async<fluvio::NetworkTransportReport> makeNetworkTransportReport() override;

 private:
  platform::Async<platform::AsyncStream<Bytes>> connectBody(std::string host, std::int64_t port);
  platform::Async<void> shutdownBody();
  // Runs `start`, then waits until the step it began ends (the queue
  // drained, the stream ended), the socket closes, or `deadline` passes.
  platform::Async<void> waitForClosingStep(std::chrono::steady_clock::time_point deadline,
                                           std::function<void()> start);
  void stateDidChange(platform::NWConnection::State state, std::optional<platform::NWError> error);
  void queue(platform::OutgoingBytes bytes, DeliveryNotice delivered);
  void receiveNext();
  void sendNext();
  void watchOutput();
  void readProgress();
  void checkOutput(platform::NWConnection::Progress progress);
  bool outputPending() const noexcept { return sending_ || !outgoing_.empty(); }
  // Bytes wait to be written or acknowledged.
  bool outputDue() const noexcept {
    return outputPending() || acknowledged_ < static_cast<std::uint64_t>(totalBytesOut_);
  }
  // Closes; `reason` says why when the socket closes on its own. The last
  // acknowledgements are told, then the received sequence finishes, then
  // `settled` runs, on the socket's strand.
  void closeWith(std::optional<Error> reason, std::function<void()> settled = {});
  // Runs `body` on the socket's strand for the current connection only.
  template <class Body>
  auto onStrand(Body body);

  const platform::NWParameters parameters_;
  const std::chrono::steady_clock::duration timeout_;
  asio::steady_timer timer_;
  asio::steady_timer outputTimer_;
  std::shared_ptr<platform::NWConnection> connection_;
  // Tells the handlers of an old connection from the current one's.
  std::uint64_t generation_ = 0;
  bool connected_ = false;
  std::optional<platform::Continuation<void>> pendingConnect_;
  std::optional<platform::AsyncStream<Bytes>::Continuation> incoming_;
  std::function<bool()> admitsMore_;
  // A receive is in flight.
  bool receiving_ = false;
  struct Outgoing {
    platform::OutgoingBytes bytes;
    DeliveryNotice delivered;
  };
  // A send written whole whose notice waits for the server's acknowledgement
  // of its last byte, `end` bytes into the connection.
  struct Unacknowledged {
    std::uint64_t end;
    DeliveryNotice delivered;
  };
  using UnacknowledgedSends = std::deque<Unacknowledged, platform::detail::BlockAllocator<Unacknowledged>>;
  // Tells the sends that `acknowledged` covers.
  static void acknowledge(UnacknowledgedSends& sends, std::uint64_t acknowledged);
  // Its nodes come from the block pool: a queue that fills and drains with
  // every message would otherwise take and free one every few messages.
  std::deque<Outgoing, platform::detail::BlockAllocator<Outgoing>> outgoing_;
  bool sending_ = false;
  // The send in flight: its size and whom to tell once it is written.
  std::int64_t sendingCount_ = 0;
  DeliveryNotice sendingNotice_;
  UnacknowledgedSends unacknowledged_;
  // Output is watched for the server's acknowledgements while any is due.
  bool watchingOutput_ = false;
  bool readingProgress_ = false;
  std::uint64_t acknowledged_ = 0;
  std::chrono::steady_clock::time_point lastOutputProgress_;
  // How far shutdown() is: writing what is queued (nothing more is taken),
  // then ending the stream (a failing receive is expected).
  enum class Closing { none, draining, ending };
  Closing closing_ = Closing::none;
  // The shutdown's wait for the queue to drain or the stream to end.
  std::optional<platform::Continuation<void>> closingStep_;
  std::optional<Error> closeReason_;
  std::int64_t totalBytesIn_ = 0;
  std::int64_t queueBytesOut_ = 0;
  std::int64_t totalBytesOut_ = 0;
};

}  // namespace rtmpfluvio
