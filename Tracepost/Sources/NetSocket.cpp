#include "Tracepost/Sources/NetSocket.hpp"

#include <poll.h>

#include <algorithm>
#include <asio/connect.hpp>
#include <asio/post.hpp>
#include <chrono>

namespace tracepost {

struct NetSocket::Connection {
  explicit Connection(const platform::Executor& executor)
      : socket(executor), resolver(executor), readBuffer(windowSizeC, 0) {}

  asio::ip::tcp::socket socket;
  asio::ip::tcp::resolver resolver;
  std::vector<std::uint8_t> readBuffer;
  bool open = false;
};

NetSocket::NetSocket()
    : inputQueue_("com.fluvio.Fluvio.NetSocket.input"), outputQueue_("com.fluvio.Fluvio.NetSocket.output") {}

namespace {

// Closed on the connection's own executor, where its resolve, connect and
// read steps run, never beside one of them.
template <class Connection>
void closeOnItsExecutor(std::shared_ptr<Connection> connection) {
  const auto executor = connection->socket.get_executor();
  asio::post(executor, [closing = std::move(connection)] {
    std::error_code ignored;
    closing->resolver.cancel();
    closing->socket.close(ignored);
  });
}

}  // namespace

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
  outputQueue_.async([weak = weak_from_this(), data = std::move(data)] {
    if (const auto self = weak.lock()) self->send(data);
  });
  return count;
}

void NetSocket::close() {
  outputQueue_.async([weak = weak_from_this()] {
    if (const auto self = weak.lock()) self->stopConnection(nullptr, false);
  });
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
  connection->resolver.async_resolve(
      host, std::to_string(port),
      [weakSelf, connection](const std::error_code& error, const asio::ip::tcp::resolver::results_type& peers) {
        const auto self = weakSelf.lock();
        if (!self) return;
        if (error) {
          self->stopLater(connection, false);
          return;
        }
        self->didResolve(connection, peers);
      });
}

void NetSocket::didResolve(const std::shared_ptr<Connection>& connection,
                           const asio::ip::tcp::resolver::results_type& peers) {
  std::lock_guard lock(mutex_);
  if (connection_ != connection) return;
  asio::async_connect(connection->socket, peers,
                      [weakSelf = weak_from_this(), connection](const std::error_code& error, const auto&) {
                        const auto self = weakSelf.lock();
                        if (!self) return;
                        if (error) {
                          self->stopLater(connection, false);
                          return;
                        }
                        self->didOpen(connection);
                      });
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
  connection->socket.async_read_some(
      asio::buffer(connection->readBuffer),
      [weakSelf = weak_from_this(), connection](const std::error_code& error, std::size_t count) {
        const auto self = weakSelf.lock();
        if (!self) return;
        if (error) {
          // End of stream and errors alike close the connection.
          self->stopLater(connection, false);
          return;
        }
        self->didRead(connection, count);
      });
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

// Runs on the output queue, the only place connections are closed, so the
// connection and its descriptor stay valid while this waits for room.
void NetSocket::send(std::span<const std::uint8_t> data) {
  std::shared_ptr<Connection> connection;
  {
    std::lock_guard lock(mutex_);
    if (!connection_ || !connection_->open) return;
    connection = connection_;
  }
  const int waitMilliseconds = std::max(timeout_.load(), 1) * 1000;
  std::size_t written = 0;
  while (written < data.size()) {
    std::error_code error;
    {
      std::lock_guard lock(mutex_);
      written += connection->socket.write_some(asio::buffer(data.data() + written, data.size() - written), error);
    }
    if (error == asio::error::would_block) {
      pollfd room{connection->socket.native_handle(), POLLOUT, 0};
      if (::poll(&room, 1, waitMilliseconds) == 1 && (room.revents & POLLOUT)) continue;
    }
    if (error) {
      stopConnection(connection, false);
      return;
    }
  }
}

void NetSocket::stopConnection(const std::shared_ptr<Connection>& expected, bool onlyUnopened) {
  {
    std::lock_guard lock(mutex_);
    if (!connection_) return;
    if (expected && connection_ != expected) return;
    if (onlyUnopened && connection_->open) return;
    closeOnItsExecutor(std::move(connection_));
    timeoutHandler_ = nullptr;
    connected_ = false;
  }
  inputQueue_.async([weak = weak_from_this()] {
    if (const auto self = weak.lock()) self->startPendingConnection();
  });
}

}  // namespace tracepost
