#pragma once

#include <asio/connect.hpp>
#include <asio/write.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <array>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Platform/Concurrency/Tests/Support/Eventually.hpp"

namespace tracepost::testing {

// A TCP listener on 127.0.0.1 that keeps the bytes of each connection it
// accepts. It can also hold connections unaccepted, or accept and not read
// (until startReading), with a receive buffer of the given size.
class LoopbackPeer {
 public:
  enum class Mode { reading, acceptingOnly, notAccepting };

  explicit LoopbackPeer(Mode mode = Mode::reading, int receiveBufferSize = 0)
      : mode_(mode), acceptor_(context_, {asio::ip::make_address("127.0.0.1"), 0}) {
    // Accepted connections take the listener's buffer size.
    if (receiveBufferSize > 0) acceptor_.set_option(asio::socket_base::receive_buffer_size(receiveBufferSize));
    if (mode_ == Mode::notAccepting) {
      fillBacklog();
    } else {
      acceptNext();
    }
    thread_ = std::thread([this] { context_.run(); });
  }

  ~LoopbackPeer() {
    context_.stop();
    thread_.join();
  }

  int port() const { return acceptor_.local_endpoint().port(); }

  // Waits until `condition` holds for the received bytes, one string per connection.
  bool waitFor(const std::function<bool(const std::vector<std::string>&)>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return condition(received_); });
  }

  std::vector<std::string> received() {
    std::lock_guard lock(mutex_);
    return received_;
  }

  // Waits until `count` connections have been closed by the other side.
  bool waitForEnded(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return ended_ >= count; });
  }

  // Reads the connections accepted so far and later ones from now on.
  void startReading() {
    asio::post(context_, [this] {
      mode_ = Mode::reading;
      std::size_t index = 0;
      for (auto& connection : connections_) readNext(connection, index++);
    });
  }

  // Closes every accepted connection from this side.
  void dropConnections() {
    asio::post(context_, [this] {
      std::error_code ignored;
      for (auto& connection : connections_) connection.socket.close(ignored);
    });
  }

 private:
  struct Connection {
    explicit Connection(asio::ip::tcp::socket socket) : socket(std::move(socket)) {}
    asio::ip::tcp::socket socket;
    std::array<char, 4096> buffer{};
  };

  void acceptNext() {
    acceptor_.async_accept([this](const std::error_code& error, asio::ip::tcp::socket socket) {
      if (error) return;
      std::size_t index;
      {
        std::lock_guard lock(mutex_);
        index = received_.size();
        received_.emplace_back();
      }
      connections_.emplace_back(std::move(socket));
      changed_.notify_all();
      if (mode_ == Mode::reading) readNext(connections_.back(), index);
      acceptNext();
    });
  }

  void readNext(Connection& connection, std::size_t index) {
    connection.socket.async_read_some(
        asio::buffer(connection.buffer), [this, &connection, index](const std::error_code& error, std::size_t count) {
          if (error) {
            if (error != asio::error::operation_aborted) {
              std::lock_guard lock(mutex_);
              ++ended_;
            }
            changed_.notify_all();
            return;
          }
          {
            std::lock_guard lock(mutex_);
            received_[index].append(connection.buffer.data(), count);
          }
          changed_.notify_all();
          readNext(connection, index);
        });
  }

  // With a backlog of 0 the first connection fills the accept queue; the
  // kernel then drops the handshakes of later ones, so they never open.
  void fillBacklog() {
    acceptor_.listen(0);
    filler_.connect(acceptor_.local_endpoint());
  }

  Mode mode_;
  asio::io_context context_;
  asio::executor_work_guard<asio::io_context::executor_type> work_ = asio::make_work_guard(context_);
  asio::ip::tcp::acceptor acceptor_;
  std::list<Connection> connections_;
  asio::ip::tcp::socket filler_{context_};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> received_;
  std::size_t ended_ = 0;
  std::thread thread_;
};

// The socket's state is read until it holds: it announces no change.
using platform::testing::eventually;

}  // namespace tracepost::testing
