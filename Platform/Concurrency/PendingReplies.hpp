#pragma once

// Replies awaited by key (a connection's transaction table). Contract:
// - add(key, timeout) registers a waiter at once (before the request goes
//   out, so an early reply finds it) and starts its time-out; a key already
//   awaited is refused (std::invalid_argument);
// - co_await std::move(waiter).value() gives the reply, or throws: the error
//   given to fail()/failAll(), ContinuationError::timedOut, or operation_aborted
//   when the waiting task is cancelled (isCancellation);
// - the entry leaves the table when it is resolved or failed, and when its wait
//   ends by time-out or cancellation, or the waiter is dropped unawaited;
// - each registration is its own: a late time-out or clean-up of an earlier
//   waiter never touches a newer one under the same key;
// - thread-safe; destroying the table fails what is left with
//   ContinuationError::abandoned.
// Use:
//   auto reply = pending.add(transactionId, 5s);
//   co_await writeCommand(...);
//   auto value = co_await std::move(reply).value();

#include <chrono>
#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "Platform/Concurrency/Continuation.hpp"
#include "Platform/Concurrency/ContinuationError.hpp"
#include "Platform/Concurrency/Executor.hpp"

namespace platform {

template <class Key, class Value>
class PendingReplies {
  using State = detail::ContinuationState<Value>;

  struct Table {
    struct Entry {
      std::uint64_t id;
      std::shared_ptr<State> state;
    };

    std::shared_ptr<State> take(const Key& key) {
      std::lock_guard lock(mutex);
      auto found = entries.find(key);
      if (found == entries.end()) return nullptr;
      auto state = std::move(found->second.state);
      entries.erase(found);
      return state;
    }

    void erase(const Key& key, std::uint64_t id) {
      std::lock_guard lock(mutex);
      auto found = entries.find(key);
      if (found != entries.end() && found->second.id == id) entries.erase(found);
    }

    mutable std::mutex mutex;
    std::map<Key, Entry> entries;
    std::uint64_t nextId = 0;
  };

 public:
  // A registered wait. Move-only; dropping it unawaited removes its entry.
  class Waiter {
   public:
    Waiter(Waiter&&) noexcept = default;
    Waiter& operator=(Waiter&&) = delete;
    Waiter(const Waiter&) = delete;
    ~Waiter() {
      if (!table_) return;
      table_->erase(key_, id_);
      state_->cancel();
    }

    // The reply, or the error that ended the wait (see the top of the file).
    Async<Value> value() && { return awaitReply(std::move(*this)); }

   private:
    friend class PendingReplies;
    Waiter(std::shared_ptr<Table> table, Key key, std::uint64_t id, std::shared_ptr<State> state)
        : table_(std::move(table)), key_(std::move(key)), id_(id), state_(std::move(state)) {}

    static Async<Value> awaitReply(Waiter waiter) {
      auto waiting = waiter.state_->wait();
      auto value = co_await std::move(waiting);
      co_return std::move(*value);
    }

    std::shared_ptr<Table> table_;
    Key key_;
    std::uint64_t id_;
    std::shared_ptr<State> state_;
  };

  // `timerExecutor` runs the time-outs only; waiters resume on their own executors.
  explicit PendingReplies(Executor timerExecutor = globalExecutor())
      : timerExecutor_(std::move(timerExecutor)), table_(std::make_shared<Table>()) {}
  ~PendingReplies() { failAll(std::make_exception_ptr(ContinuationError(ContinuationError::Case::abandoned))); }
  PendingReplies(const PendingReplies&) = delete;
  PendingReplies& operator=(const PendingReplies&) = delete;

  Waiter add(Key key, std::chrono::steady_clock::duration timeout) {
    auto state = std::make_shared<State>();
    std::uint64_t id;
    {
      std::lock_guard lock(table_->mutex);
      id = ++table_->nextId;
      if (!table_->entries.try_emplace(key, typename Table::Entry{id, state}).second) {
        throw std::invalid_argument("a reply is already awaited under this key");
      }
    }
    state->armTimeout(timerExecutor_, timeout);
    return Waiter(table_, std::move(key), id, std::move(state));
  }

  // Each returns false when nothing waits under `key` (any more).
  bool resolve(const Key& key, Value value) {
    auto state = table_->take(key);
    return state && state->resume(nullptr, typename State::Value(std::in_place, std::move(value)));
  }
  bool fail(const Key& key, std::exception_ptr error) {
    if (!error) throw std::invalid_argument("a failed reply needs a non-null error");
    auto state = table_->take(key);
    return state && state->resume(std::move(error), std::nullopt);
  }

  // Fails every waiter with `error` (a connection's close).
  void failAll(std::exception_ptr error) {
    if (!error) throw std::invalid_argument("failing every reply needs a non-null error");
    std::map<Key, typename Table::Entry> entries;
    {
      std::lock_guard lock(table_->mutex);
      entries.swap(table_->entries);
    }
    for (auto& [key, entry] : entries) entry.state->resume(error, std::nullopt);
  }

  std::size_t count() const {
    std::lock_guard lock(table_->mutex);
    return table_->entries.size();
  }
  bool contains(const Key& key) const {
    std::lock_guard lock(table_->mutex);
    return table_->entries.contains(key);
  }

 private:
  Executor timerExecutor_;
  std::shared_ptr<Table> table_;
};

}  // namespace platform
