#pragma once

#include <asio/ip/tcp.hpp>
#include <asio/ssl/context.hpp>
#include <asio/ssl/stream.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Network/NWError.hpp"
#include "Platform/Network/NWParameters.hpp"

namespace platform {

// One outgoing TCP or TLS connection. `start` resolves the host, connects and
// (for TLS) verifies the peer, reporting each state once. Handlers run on the
// connection's strand. At most one receive and one send may be outstanding:
// a second one fails with operation_in_progress. The connection keeps itself
// alive while an operation runs.
class NWConnection : public std::enable_shared_from_this<NWConnection> {
 public:
  using Bytes = std::vector<std::uint8_t>;
  // `waiting`: no path to the peer (network down or unreachable); the
  // connection is closed, as `failed` would leave it.
  enum class State { setup, preparing, waiting, ready, failed, cancelled };
  using StateUpdateHandler = std::function<void(State, std::optional<NWError>)>;
  // Data, or an error; no data and no error is the end of the stream.
  using ReceiveCompletion = std::function<void(Bytes, std::optional<NWError>)>;
  using SendCompletion = std::function<void(std::optional<NWError>)>;

  static std::shared_ptr<NWConnection> make(std::string host, std::uint16_t port, NWParameters parameters,
                                            Executor executor = networkExecutor());
  ~NWConnection();

  // Set before `start`.
  void setStateUpdateHandler(StateUpdateHandler handler);
  void start();
  // Up to `maximumLength` bytes, as soon as any are there.
  void receive(std::size_t maximumLength, ReceiveCompletion completion);
  // Completes when every byte is written.
  void send(Bytes content, SendCompletion completion);
  // How far sending has come: bytes the system took from sends so far (also
  // while a send is under way), and bytes it holds that the peer has not
  // acknowledged yet.
  struct Progress {
    std::uint64_t written = 0;
    std::uint64_t unacknowledged = 0;
    friend bool operator==(const Progress&, const Progress&) = default;
  };
  void progress(std::function<void(Progress)> completion);
  // Closes gracefully and reports `cancelled`: ends TLS with its close alert,
  // then the TCP stream, and reads what the peer still sends until the peer
  // closes too, has acknowledged everything, or `grace` runs out. A pending
  // receive fails; with a send under way the connection closes at once.
  void cancel(std::chrono::steady_clock::duration grace = std::chrono::seconds(5));
  // Closes at once without reporting anything more.
  void forceCancel();

 private:
  NWConnection(std::string host, std::uint16_t port, NWParameters parameters, Executor executor);

  void report(State state, std::optional<NWError> error = std::nullopt);
  void fail(const std::error_code& error);
  void close();
  void onResolved(const std::error_code& error, const asio::ip::tcp::resolver::results_type& endpoints);
  void onConnected(const std::error_code& error);
  void onHandshake(const std::error_code& error);
  // Ends our side of the TCP stream and runs `done` once the peer closes too
  // or has acknowledged everything, whichever comes first.
  void endStream(const std::function<void()>& done);
  // Reads and drops what the peer sends until it closes, then runs `done`.
  void discardUntilEnd(std::function<void()> done);
  void awaitAcknowledged(std::function<void()> done);
  // Bytes sent that the peer has not acknowledged; 0 once the socket is closed.
  std::uint64_t unacknowledgedBytes();

  const std::string host_;
  const std::uint16_t port_;
  const NWParameters parameters_;
  asio::strand<Executor> strand_;
  asio::ssl::context context_;
  asio::ip::tcp::resolver resolver_;
  asio::ssl::stream<asio::ip::tcp::socket> stream_;
  asio::steady_timer closeTimer_;
  asio::steady_timer acknowledgementTimer_;
  StateUpdateHandler stateUpdateHandler_;
  State state_ = State::setup;
  bool receiving_ = false;
  bool sending_ = false;
  bool closing_ = false;
  std::uint64_t bytesWritten_ = 0;
};

}  // namespace platform
