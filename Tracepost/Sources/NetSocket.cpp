#include "Tracepost/Sources/NetSocket.hpp"

#include <asio/connect.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <string>

#include "Platform/OSLog/OSLog.hpp"

namespace tracepost {

struct NetSocket::Connection {
  explicit Connection(const platform::Executor& executor)
      : socket(executor), resolver(executor), roomTimer(executor), readBuffer(windowSizeC, 0) {}

  asio::ip::tcp::socket socket;
  asio::ip::tcp::resolver resolver;
  asio::steady_timer roomTimer;
  std::vector<std::uint8_t> readBuffer;
  bool open = false;
  // Set by close(): nothing more is queued, and the connection ends once
  // the queue is empty.
  bool closing = false;
  // A sender runs or is posted; it alone takes lines from the queue.
  bool sending = false;
  std::vector<std::uint8_t> line;  // being sent
  std::size_t sent = 0;            // bytes of `line` the peer has taken
  bool waitingForRoom = false;
  std::uint64_t roomWaits = 0;  // tells a stale time-out from the current one
};

namespace {

void noteStall(std::uint64_t dropped) {
  static const platform::OSLog log("com.fluvio.Fluvio", "NetSocket");
  log.log(platform::OSLogType::error, "log peer is not reading: dropping the oldest unsent lines (" +
                                          std::to_string(dropped) + " dropped so far)");
}


// Closed on the connection's own executor, where its resolve, connect and
// read steps run, never beside one of them.
template <class Connection>
void closeOnItsExecutor(std::shared_ptr<Connection> connection) {
  const auto executor = connection->socket.get_executor();
  asio::post(executor, [closing = std::move(connection)] {
    std::error_code ignored;
    closing->resolver.cancel();
    closing->roomTimer.cancel();
    closing->socket.close(ignored);
  });
}

// Lines one turn of the sender takes at most, so reads get their turn on
// the connection's executor while a fast peer keeps up with a busy logger.
constexpr std::size_t linesPerTurn = 64;

}  // namespace

NetSocket::NetSocket()
    : stallHandler_(noteStall),
      inputQueue_("com.fluvio.Fluvio.NetSocket.input"),
      outputQueue_("com.fluvio.Fluvio.NetSocket.output") {}

template <class Next>
auto NetSocket::step(const std::shared_ptr<Connection>& connection, Next next) {
  return [weakSelf = weak_from_this(), connection, next](const std::error_code& error, const auto&... results) {
    const auto self = weakSelf.lock();
    if (!self) return;
    if (error) {
      self->stopLater(connection, false);
      return;
    }
    next(*self, connection, results...);
  };
}

NetSocket::~NetSocket() {
  std::lock_guard lock(mutex_);
  if (connection_) closeOnItsExecutor(std::move(connection_));
}

void NetSocket::connect(std::string host, int port) {
  inputQueue_.async([weak = weak_from_this(), host = std::move(host), port]() mutable {
    if (const auto self = weak.lock()) self->requestConnection(std::move(host), port);
  });
}

std::size_t NetSocket::write(std::vector<std::uint8_t> data) {
  const std::size_t count = data.size();
  std::shared_ptr<Connection> startSender;
  std::function<void(std::uint64_t)> announce;
  {
    std::lock_guard lock(mutex_);
    if (!connection_ || !connection_->open || connection_->closing) return count;
    if (queue_.push(std::move(data))) announce = stallHandler_;
    if (!connection_->sending) {
      connection_->sending = true;
      startSender = connection_;
    }
  }
  if (startSender) {
    asio::post(startSender->socket.get_executor(), [weakSelf = weak_from_this(), connection = startSender] {
      if (const auto self = weakSelf.lock()) self->sendNext(connection);
    });
  }
  if (announce) announce(droppedLines());
  return count;
}

void NetSocket::close() {
  outputQueue_.async([weak = weak_from_this()] {
    if (const auto self = weak.lock()) self->finishConnection();
  });
}

void NetSocket::setStallHandler(std::function<void(std::uint64_t)> handler) {
  std::lock_guard lock(mutex_);
  stallHandler_ = std::move(handler);
}

void NetSocket::stopLater(const std::shared_ptr<Connection>& connection, bool onlyUnopened) {
  outputQueue_.async([weak = weak_from_this(), expected = std::weak_ptr(connection), onlyUnopened] {
    const auto self = weak.lock();
    const auto connection = expected.lock();
    if (self && connection) self->stopConnection(connection, onlyUnopened);
  });
}

void NetSocket::didTimeout() {
  std::function<void()> handler;
  {
    std::lock_guard lock(mutex_);
    handler = timeoutHandler_;
  }
  if (handler) handler();
}

std::vector<std::uint8_t> NetSocket::inputBuffer() const {
  std::lock_guard lock(mutex_);
  return inputBuffer_;
}

std::size_t NetSocket::queuedLines() const {
  std::lock_guard lock(mutex_);
  return queue_.lines();
}

std::size_t NetSocket::queuedBytes() const {
  std::lock_guard lock(mutex_);
  return queue_.bytes();
}

std::uint64_t NetSocket::droppedLines() const {
  std::lock_guard lock(mutex_);
  return queue_.dropped();
}

bool NetSocket::waitingForPeer() const {
  std::lock_guard lock(mutex_);
  return connection_ && connection_->waitingForRoom;
}

void NetSocket::requestConnection(std::string host, int port) {
  {
    std::lock_guard lock(mutex_);
    if (connection_) {
      pendingConnection_.emplace(std::move(host), port);
      return;
    }
  }
  startConnection(host, port);
}

void NetSocket::startPendingConnection() {
  if (!pendingConnection_) return;
  auto [host, port] = std::move(*pendingConnection_);
  pendingConnection_.reset();
  requestConnection(std::move(host), port);
}

void NetSocket::startConnection(const std::string& host, int port) {
  if (port < 0 || port > 65535) return;
  const auto connection = std::make_shared<Connection>(inputQueue_.executor());
  const std::weak_ptr<Connection> weakConnection = connection;
  const std::weak_ptr<NetSocket> weakSelf = weak_from_this();
  std::lock_guard lock(mutex_);
  inputBuffer_.clear();
  connection_ = connection;
  // The time-out gives up on a connection that has not opened by then.
  timeoutHandler_ = [weakSelf, weakConnection] {
    const auto self = weakSelf.lock();
    const auto connection = weakConnection.lock();
    if (self && connection) self->stopLater(connection, true);
  };
  if (const int seconds = timeout_.load(); seconds > 0) {
    outputQueue_.asyncAfter(std::chrono::seconds(seconds), [weakSelf, weakConnection] {
      const auto self = weakSelf.lock();
      const auto connection = weakConnection.lock();
      if (!self || !connection) return;
      {
        // A later connection's handler is not this time-out's business.
        std::lock_guard lock(self->mutex_);
        if (self->connection_ != connection) return;
      }
      self->didTimeout();
    });
  }
  connection->resolver.async_resolve(host, std::to_string(port),
                                     step(connection, [](NetSocket& self, const auto& connection, const auto& peers) {
                                       self.didResolve(connection, peers);
                                     }));
}

void NetSocket::didResolve(const std::shared_ptr<Connection>& connection,
                           const asio::ip::tcp::resolver::results_type& peers) {
  std::lock_guard lock(mutex_);
  if (connection_ != connection) return;
  asio::async_connect(connection->socket, peers,
                      step(connection, [](NetSocket& self, const auto& connection, const auto&) {
                        self.didOpen(connection);
                      }));
}

void NetSocket::didOpen(const std::shared_ptr<Connection>& connection) {
  std::lock_guard lock(mutex_);
  if (connection_ != connection) return;
  std::error_code error;
  connection->socket.non_blocking(true, error);
  connection->open = true;
  timeoutHandler_ = nullptr;
  connected_ = true;
  readNext(connection);
}

// Called with mutex_ held.
void NetSocket::readNext(const std::shared_ptr<Connection>& connection) {
  // End of stream and errors alike close the connection.
  connection->socket.async_read_some(
      asio::buffer(connection->readBuffer),
      step(connection, [](NetSocket& self, const auto& connection, std::size_t count) {
        self.didRead(connection, count);
      }));
}

void NetSocket::didRead(const std::shared_ptr<Connection>& connection, std::size_t count) {
  std::lock_guard lock(mutex_);
  if (connection_ != connection) return;
  // Nothing consumes these bytes; only the newest are kept.
  inputBuffer_.insert(inputBuffer_.end(), connection->readBuffer.begin(), connection->readBuffer.begin() + count);
  if (inputBuffer_.size() > inputBufferLimit) {
    inputBuffer_.erase(inputBuffer_.begin(), inputBuffer_.end() - inputBufferLimit);
  }
  readNext(connection);
}

void NetSocket::sendNext(const std::shared_ptr<Connection>& connection) {
  std::lock_guard lock(mutex_);
  if (connection_ != connection) return;
  connection->waitingForRoom = false;
  for (std::size_t taken = 0;;) {
    if (connection->sent == connection->line.size()) {
      if (taken++ == linesPerTurn && queue_.lines() > 0) {
        asio::post(connection->socket.get_executor(), [weakSelf = weak_from_this(), connection] {
          if (const auto self = weakSelf.lock()) self->sendNext(connection);
        });
        return;
      }
      auto next = queue_.pop();
      connection->line = next ? std::move(*next) : std::vector<std::uint8_t>();
      connection->sent = 0;
      if (!next) {
        connection->sending = false;
        if (connection->closing) stopLater(connection, false);
        return;
      }
      continue;
    }
    std::error_code error;
    connection->sent += connection->socket.write_some(
        asio::buffer(connection->line.data() + connection->sent, connection->line.size() - connection->sent), error);
    if (error == asio::error::would_block) {
      waitForRoom(connection);
      return;
    }
    if (error) {
      stopLater(connection, false);
      return;
    }
  }
}

// Called with mutex_ held, on the connection's executor.
void NetSocket::waitForRoom(const std::shared_ptr<Connection>& connection) {
  connection->waitingForRoom = true;
  const std::uint64_t wait = ++connection->roomWaits;
  const std::weak_ptr<NetSocket> weakSelf = weak_from_this();
  if (const int seconds = timeout_.load(); seconds > 0) {
    connection->roomTimer.expires_after(std::chrono::seconds(seconds));
    connection->roomTimer.async_wait([weakSelf, connection, wait](const std::error_code& error) {
      const auto self = weakSelf.lock();
      if (!self || error) return;
      std::lock_guard lock(self->mutex_);
      // A peer that takes nothing for so long is taken for gone.
      if (connection->waitingForRoom && connection->roomWaits == wait) self->stopLater(connection, false);
    });
  }
  connection->socket.async_wait(
      asio::socket_base::wait_write,
      step(connection, [](NetSocket& self, const auto& connection) { self.sendNext(connection); }));
}

void NetSocket::finishConnection() {
  {
    std::lock_guard lock(mutex_);
    if (!connection_) return;
    if (connection_->open && connection_->sending) {
      connection_->closing = true;
      return;
    }
    closeCurrentLocked();
  }
  startPendingLater();
}

void NetSocket::stopConnection(const std::shared_ptr<Connection>& expected, bool onlyUnopened) {
  {
    std::lock_guard lock(mutex_);
    if (!connection_) return;
    if (expected && connection_ != expected) return;
    if (onlyUnopened && connection_->open) return;
    closeCurrentLocked();
  }
  startPendingLater();
}

void NetSocket::closeCurrentLocked() {
  closeOnItsExecutor(std::move(connection_));
  queue_.clear();
  timeoutHandler_ = nullptr;
  connected_ = false;
}

void NetSocket::startPendingLater() {
  inputQueue_.async([weak = weak_from_this()] {
    if (const auto self = weak.lock()) self->startPendingConnection();
  });
}

}  // namespace tracepost
