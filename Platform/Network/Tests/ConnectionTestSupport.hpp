#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Platform/Network/NWConnection.hpp"

namespace platform::testing {

using State = NWConnection::State;
using Bytes = NWConnection::Bytes;

// A bound on every wait, so that a fault fails the test instead of hanging it.
inline constexpr auto kPatience = std::chrono::seconds(20);

template <class T>
T await(std::future<T> future) {
  if (future.wait_for(kPatience) != std::future_status::ready) throw std::runtime_error("no answer in time");
  return future.get();
}

inline Bytes bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// What a connection reports, in order, for a test to wait for and check.
class ConnectionEvents {
 public:
  explicit ConnectionEvents(NWConnection& connection) : record_(std::make_shared<Record>()) {
    connection.setStateUpdateHandler([record = record_](State state, std::optional<NWError> error) {
      const std::lock_guard lock(record->mutex);
      record->states.push_back(state);
      record->errors.push_back(std::move(error));
      record->changed.notify_all();
    });
    connection.setViabilityUpdateHandler([record = record_](bool viable) {
      const std::lock_guard lock(record->mutex);
      record->viability.push_back(viable);
      record->changed.notify_all();
    });
  }

  // The error that came with `state`, once `state` has been reported.
  std::optional<NWError> waitFor(State state) {
    std::unique_lock lock(record_->mutex);
    const auto reported = [&] { return std::find(record_->states.begin(), record_->states.end(), state); };
    if (!record_->changed.wait_for(lock, kPatience, [&] { return reported() != record_->states.end(); })) {
      throw std::runtime_error("state never reported");
    }
    return record_->errors[static_cast<std::size_t>(reported() - record_->states.begin())];
  }

  void waitForViability() {
    std::unique_lock lock(record_->mutex);
    if (!record_->changed.wait_for(lock, kPatience, [&] { return !record_->viability.empty(); })) {
      throw std::runtime_error("viability never reported");
    }
  }

  std::vector<State> states() const {
    const std::lock_guard lock(record_->mutex);
    return record_->states;
  }

  std::vector<bool> viability() const {
    const std::lock_guard lock(record_->mutex);
    return record_->viability;
  }

 private:
  struct Record {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<State> states;
    std::vector<std::optional<NWError>> errors;
    std::vector<bool> viability;
  };
  std::shared_ptr<Record> record_;
};

struct Received {
  Bytes data;
  std::optional<NWError> error;
};

inline std::future<Received> receive(NWConnection& connection, std::size_t maximumLength = 64 * 1024) {
  auto promise = std::make_shared<std::promise<Received>>();
  auto future = promise->get_future();
  connection.receive(maximumLength, [promise](Bytes data, std::optional<NWError> error) {
    promise->set_value(Received{std::move(data), std::move(error)});
  });
  return future;
}

// Receives until `count` bytes came, or the stream ended or failed.
inline Received receiveExactly(NWConnection& connection, std::size_t count) {
  Received all;
  while (all.data.size() < count) {
    Received piece = await(receive(connection, count - all.data.size()));
    if (piece.data.empty()) return Received{std::move(all.data), std::move(piece.error)};
    all.data.insert(all.data.end(), piece.data.begin(), piece.data.end());
  }
  return all;
}

inline std::future<std::optional<NWError>> send(NWConnection& connection, const Bytes& content) {
  auto promise = std::make_shared<std::promise<std::optional<NWError>>>();
  auto future = promise->get_future();
  connection.send(OutgoingBytes(content.begin(), content.end()),
                  [promise](std::optional<NWError> error) { promise->set_value(std::move(error)); });
  return future;
}

// Returns once everything posted to the connection before has run.
inline void settle(NWConnection& connection) {
  std::promise<void> done;
  asio::post(connection.strand(), [&done] { done.set_value(); });
  await(done.get_future());
}

// A listening socket on a free loopback port.
class LoopbackAcceptor {
 public:
  LoopbackAcceptor() : acceptor_(io_, asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)) {}

  std::uint16_t port() const { return acceptor_.local_endpoint().port(); }
  // The connection a client made; call once the client is ready.
  asio::ip::tcp::socket accept() { return acceptor_.accept(); }

 private:
  asio::io_context io_;
  asio::ip::tcp::acceptor acceptor_;
};

// A loopback port that nothing listens on.
inline std::uint16_t unusedLoopbackPort() { return LoopbackAcceptor().port(); }

// Starts a connection to a port nothing listens on: it fails once, with the
// system's own words.
inline void expectRefused(NWConnection& connection) {
  ConnectionEvents events(connection);
  connection.start();
  const auto error = events.waitFor(State::failed);
  ASSERT_TRUE(error);
  EXPECT_STREQ(error->what(), std::error_code(ECONNREFUSED, std::system_category()).message().c_str());
  EXPECT_EQ(events.states(), (std::vector{State::preparing, State::failed}));
}

}  // namespace platform::testing
