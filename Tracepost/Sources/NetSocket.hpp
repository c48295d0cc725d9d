#pragma once

#include <asio/ip/tcp.hpp>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Concurrency/SerialQueue.hpp"
#include "Tracepost/Sources/LineQueue.hpp"

namespace tracepost {

// A small TCP client (plain TCP, no TLS). Connecting, reading and sending run
// on the input queue, closing and the time-out on the output queue; every
// request returns at once and none of them waits for the peer. Lines written
// before the connection opens are dropped. Lines the peer has not taken yet
// wait in a bounded queue that drops its oldest; a send that fails, or finds
// no room for the time-out, closes the connection, so a peer never sees half
// a line glued to the next.
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
  // Lines written before the close are still sent; later ones are dropped.
  void close();
  // Runs the time-out handler of the connection being opened, if any.
  void didTimeout();

  // Called, outside the socket's lock, with the number of lines dropped so
  // far, once each time the queue starts dropping: the next call comes only
  // after the peer has taken every queued line. The default writes one
  // line to the OS log, never through a logger that could lead back here.
  void setStallHandler(std::function<void(std::uint64_t dropped)> handler);

  // Seconds a connection may take to open, and a send to find room; 0 for no time-out.
  int timeout() const noexcept { return timeout_.load(); }
  void setTimeout(int seconds) noexcept { timeout_.store(seconds); }
  bool connected() const noexcept { return connected_.load(); }
  // The newest received bytes, at most inputBufferLimit of them.
  std::vector<std::uint8_t> inputBuffer() const;
  // Lines waiting behind the one being sent, and their bytes.
  std::size_t queuedLines() const;
  std::size_t queuedBytes() const;
  // Lines the queue dropped since the socket was made.
  std::uint64_t droppedLines() const;
  // True while a line waits for the peer to make room for it.
  bool waitingForPeer() const;

  static constexpr std::size_t windowSizeC = 0xFFFF;
  static constexpr std::size_t inputBufferLimit = 16 * windowSizeC;

 private:
  struct Connection;

  // The completion handler of one step of `connection`: an error closes
  // it, success hands the results on to `next`.
  template <class Next>
  auto step(const std::shared_ptr<Connection>& connection, Next next);
  void requestConnection(std::string host, int port);
  void startConnection(const std::string& host, int port);
  void startPendingConnection();
  void didResolve(const std::shared_ptr<Connection>& connection, const asio::ip::tcp::resolver::results_type& peers);
  void didOpen(const std::shared_ptr<Connection>& connection);
  void readNext(const std::shared_ptr<Connection>& connection);
  void didRead(const std::shared_ptr<Connection>& connection, std::size_t count);
  // Sends the queued lines until none is left or the peer has no room.
  // Connection executor only.
  void sendNext(const std::shared_ptr<Connection>& connection);
  void waitForRoom(const std::shared_ptr<Connection>& connection);
  // Closes once the lines written so far have gone. Output queue only.
  void finishConnection();
  // Closes the current connection; given `expected`, only while that one is
  // current (and, with `onlyUnopened`, has not opened yet). Output queue only.
  void stopConnection(const std::shared_ptr<Connection>& expected, bool onlyUnopened);
  void stopLater(const std::shared_ptr<Connection>& connection, bool onlyUnopened);
  // Called with mutex_ held and a current connection.
  void closeCurrentLocked();
  void startPendingLater();

  mutable std::mutex mutex_;  // guards the fields below and every call into the socket
  std::shared_ptr<Connection> connection_;
  std::vector<std::uint8_t> inputBuffer_;
  std::function<void()> timeoutHandler_;
  std::function<void(std::uint64_t)> stallHandler_;
  LineQueue queue_;  // the current connection's lines, behind the one being sent

  std::optional<std::pair<std::string, int>> pendingConnection_;  // input queue only
  std::atomic<int> timeout_{15};
  std::atomic<bool> connected_{false};
  platform::SerialQueue inputQueue_;
  platform::SerialQueue outputQueue_;
};

}  // namespace tracepost
