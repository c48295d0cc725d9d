#pragma once

#include <asio/ip/tcp.hpp>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Platform/Concurrency/SerialQueue.hpp"

namespace tracepost {

// A small TCP client (plain TCP, no TLS). Connecting and reading run on the
// input queue, writing, closing and the time-out on the output queue; every
// request returns at once. Lines written before the connection opens are
// dropped; a write that fails or cannot finish closes the connection, so a
// peer never sees half a line glued to the next.
class NetSocket : public std::enable_shared_from_this<NetSocket> {
 public:
  static std::shared_ptr<NetSocket> make() { return std::make_shared<NetSocket>(); }
  NetSocket();
  ~NetSocket();
  NetSocket(const NetSocket&) = delete;
  NetSocket& operator=(const NetSocket&) = delete;

  // A connect while a connection runs waits until that one is closed (the
  // latest such request wins). A port outside 0...65535 connects nothing.
  void connect(std::string host, int port);
  // Queues all of `data` for the peer; returns its byte count.
  std::size_t write(std::vector<std::uint8_t> data);
  void close();
  // Runs the time-out handler of the connection being opened, if any.
  void didTimeout();

  // Seconds a connection may take to open, and a write to find room; 0 for no time-out.
  int timeout() const noexcept { return timeout_.load(); }
  void setTimeout(int seconds) noexcept { timeout_.store(seconds); }
  bool connected() const noexcept { return connected_.load(); }
  // The newest received bytes, at most inputBufferLimit of them.
  std::vector<std::uint8_t> inputBuffer() const;

  static constexpr std::size_t windowSizeC = 0xFFFF;
  static constexpr std::size_t inputBufferLimit = 16 * windowSizeC;

 private:
  struct Connection;

  void requestConnection(std::string host, int port);
  void startConnection(const std::string& host, int port);
  void startPendingConnection();
  void didResolve(const std::shared_ptr<Connection>& connection, const asio::ip::tcp::resolver::results_type& peers);
  void didOpen(const std::shared_ptr<Connection>& connection);
  void readNext(const std::shared_ptr<Connection>& connection);
  void didRead(const std::shared_ptr<Connection>& connection, std::size_t count);
  void send(std::span<const std::uint8_t> data);
  // Closes the current connection; given `expected`, only while that one is
  // current (and, with `onlyUnopened`, has not opened yet). Output queue only.
  void stopConnection(const std::shared_ptr<Connection>& expected, bool onlyUnopened);
  void stopLater(const std::shared_ptr<Connection>& connection, bool onlyUnopened);

  mutable std::mutex mutex_;  // guards the fields below and every call into the socket
  std::shared_ptr<Connection> connection_;
  std::vector<std::uint8_t> inputBuffer_;
  std::function<void()> timeoutHandler_;

  std::optional<std::pair<std::string, int>> pendingConnection_;  // input queue only
  std::atomic<int> timeout_{15};
  std::atomic<bool> connected_{false};
  platform::SerialQueue inputQueue_;
  platform::SerialQueue outputQueue_;
};

}  // namespace tracepost
