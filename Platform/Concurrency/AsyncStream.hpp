#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Concurrency/PendingResume.hpp"
#include "Platform/Concurrency/UnhandledError.hpp"
#include "Platform/Concurrency/WaitingConsumers.hpp"

namespace platform {

// How a stream keeps elements that arrive while no consumer waits.
struct BufferingPolicy {
  enum class Kind { unbounded, bufferingNewest, bufferingOldest };
  Kind kind = Kind::unbounded;
  std::size_t limit = 0;

  static BufferingPolicy unbounded() { return {}; }
  // Keeps the newest `limit` elements, dropping the oldest to make room.
  static BufferingPolicy bufferingNewest(std::size_t limit) { return {Kind::bufferingNewest, limit}; }
  // Keeps the first `limit` elements, dropping new ones while full.
  static BufferingPolicy bufferingOldest(std::size_t limit) { return {Kind::bufferingOldest, limit}; }
};

namespace detail {

template <class T>
class AsyncStreamState : public std::enable_shared_from_this<AsyncStreamState<T>> {
 public:
  explicit AsyncStreamState(BufferingPolicy policy) : policy_(policy) {}

  enum class YieldResult { enqueued, dropped, terminated };

  YieldResult yield(T element) {
    std::unique_lock lock(mutex_);
    if (finished_) return YieldResult::terminated;
    if (!consumers_.empty()) {
      auto waiter = consumers_.takeFirst();
      lock.unlock();
      Consumers::hand(this->shared_from_this(), std::move(waiter), std::move(element));
      return YieldResult::enqueued;
    }
    switch (policy_.kind) {
      case BufferingPolicy::Kind::unbounded:
        break;
      case BufferingPolicy::Kind::bufferingNewest:
        if (policy_.limit == 0) return countDrop();
        if (buffer_.size() >= policy_.limit) {
          buffer_.pop_front();
          buffer_.push_back(std::move(element));
          return countDrop();
        }
        break;
      case BufferingPolicy::Kind::bufferingOldest:
        if (buffer_.size() >= policy_.limit) return countDrop();
        break;
    }
    buffer_.push_back(std::move(element));
    return YieldResult::enqueued;
  }

  // Ends the stream for its consumer once the buffered elements are read.
  void finish() { close(false); }

  // The consumer went away: nothing buffered is delivered any more.
  void terminate() { close(true); }

  Async<std::optional<T>> next() { return Consumers::next(this->shared_from_this()); }

  std::uint64_t droppedCount() const noexcept { return dropped_.load(std::memory_order_relaxed); }

 private:
  using Consumers = WaitingConsumers<T, AsyncStreamState>;
  friend Consumers;

  YieldResult countDrop() noexcept {
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return YieldResult::dropped;
  }

  std::optional<std::pair<std::exception_ptr, std::optional<T>>> takeNextLocked() {
    if (buffer_.empty()) {
      if (!finished_) return std::nullopt;
      return std::pair<std::exception_ptr, std::optional<T>>();
    }
    std::optional<T> element(std::move(buffer_.front()));
    buffer_.pop_front();
    return std::pair<std::exception_ptr, std::optional<T>>(nullptr, std::move(element));
  }

  void giveBack(T element) {
    if (!terminated_) buffer_.push_front(std::move(element));
  }

  void close(bool dropBuffered) {
    std::deque<typename Consumers::Handle> waiters;
    std::deque<T> dropped;
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
      terminated_ = terminated_ || dropBuffered;
      waiters = consumers_.takeAll();
      if (dropBuffered) dropped.swap(buffer_);
    }
    for (auto& waiter : waiters) Consumers::hand(this->shared_from_this(), std::move(waiter), std::nullopt);
  }

  std::mutex mutex_;
  BufferingPolicy policy_;
  bool finished_ = false;
  bool terminated_ = false;
  std::deque<T> buffer_;
  Consumers consumers_;
  std::atomic<std::uint64_t> dropped_ = 0;
};

// Finishes the stream when the last copy of its continuation goes away, and
// terminates it when the last copy of the stream goes away.
template <class T, bool producer>
struct AsyncStreamEnd {
  explicit AsyncStreamEnd(std::shared_ptr<AsyncStreamState<T>> s) : state(std::move(s)) {}
  AsyncStreamEnd(const AsyncStreamEnd&) = delete;
  AsyncStreamEnd& operator=(const AsyncStreamEnd&) = delete;
  ~AsyncStreamEnd() {
    if constexpr (producer) {
      state->finish();
    } else {
      state->terminate();
    }
  }

  std::shared_ptr<AsyncStreamState<T>> state;
};

}  // namespace detail

// An asynchronous sequence of T with one producer side (the continuation,
// usable from any thread without blocking) and a consumer side that awaits
// `next()`. Elements yielded before `finish()` are still delivered; `next()`
// then yields nullopt. The consumer resumes on its own executor. Cancelling
// the consumer's task ends a waiting `next()` with operation_aborted and keeps
// any element that was on its way for the next call, so racing `next()`
// against another wait (asio's `||`) loses nothing.
template <class T>
class AsyncStream {
 public:
  using YieldResult = typename detail::AsyncStreamState<T>::YieldResult;

  class Continuation {
   public:
    YieldResult yield(T element) const { return end_->state->yield(std::move(element)); }
    void finish() const { end_->state->finish(); }
    // How many elements the buffering policy has dropped so far.
    std::uint64_t droppedCount() const noexcept { return end_->state->droppedCount(); }

   private:
    friend class AsyncStream;
    explicit Continuation(std::shared_ptr<detail::AsyncStreamState<T>> state)
        : end_(std::make_shared<detail::AsyncStreamEnd<T, true>>(std::move(state))) {}
    std::shared_ptr<detail::AsyncStreamEnd<T, true>> end_;
  };

  static std::pair<AsyncStream, Continuation> makeStream(BufferingPolicy policy = BufferingPolicy::unbounded()) {
    auto state = std::make_shared<detail::AsyncStreamState<T>>(policy);
    return {AsyncStream(state), Continuation(state)};
  }

  // The next element, or nullopt once the stream has finished.
  Async<std::optional<T>> next() const { return end_->state->next(); }

 private:
  explicit AsyncStream(std::shared_ptr<detail::AsyncStreamState<T>> state)
      : end_(std::make_shared<detail::AsyncStreamEnd<T, false>>(std::move(state))) {}
  std::shared_ptr<detail::AsyncStreamEnd<T, false>> end_;
};

}  // namespace platform
