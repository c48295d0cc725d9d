#pragma once

// A suspended task's resuming side. Contract:
// - resumed exactly once, from any thread, with a value or an error; later
//   resumes (a late reply, the time-out) return false and change nothing;
// - the waiting task resumes on its own executor, never inside resume();
// - cancelling the waiting task ends the wait at once with operation_aborted
//   (see isCancellation); from then on resume() returns false, so a producer
//   never hands a value to a wait that will not deliver it; a value that
//   races the cancel goes back through resume's `onUndelivered`;
// - with a time-out the wait ends with ContinuationError::timedOut; dropping
//   every copy unresumed ends it with ContinuationError::abandoned;
// - resume(std::exception_ptr) refuses a null pointer (std::invalid_argument).
// A wait ends by throwing out of withContinuation: a caller that parked the
// continuation in a table must erase it on every path (PendingReplies does).

#include <asio/async_result.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <variant>

#include "Platform/Concurrency/ContinuationError.hpp"
#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Concurrency/PendingResume.hpp"
#include "Platform/Concurrency/UnhandledError.hpp"

namespace platform {

namespace detail {

template <class T>
using Stored = std::conditional_t<std::is_void_v<T>, std::monostate, T>;

// What the waiting side and every copy of the continuation share. The first
// resume wins, whoever makes it: the producer, the time-out or a cancel. The
// outcome stays here until the waiting task takes it on its own executor, so
// a cancel that arrives in between is still seen (see Continuation::resume).
template <class T>
class ContinuationState : public std::enable_shared_from_this<ContinuationState<T>> {
 public:
  using Value = std::optional<Stored<T>>;
  using Undelivered = std::function<void(Stored<T>)>;

  bool resume(std::exception_ptr error, Value value, Undelivered undelivered = {}) {
    std::optional<PendingResume<Value>> waiter;
    std::shared_ptr<asio::steady_timer> timer;
    {
      std::lock_guard lock(mutex_);
      if (resumed_) return false;
      resumed_ = true;
      outcome_.emplace(std::move(error), std::move(value));
      undelivered_ = std::move(undelivered);
      timer = std::move(timer_);
      waiter = std::exchange(waiter_, std::nullopt);
    }
    if (timer) asio::post(timer->get_executor(), [timer] { timer->cancel(); });
    if (waiter) deliver(std::move(*waiter));
    return true;
  }

  bool cancel() { return resume(cancellationError(), std::nullopt); }

  // The waiting task was cancelled: its wait ends now, or, when a value is
  // already on its way, that value goes back to its producer if it asked.
  void cancelWait() {
    {
      std::lock_guard lock(mutex_);
      cancelRequested_ = true;
    }
    cancel();
  }

  // The waiting coroutine has left: a value it never took goes back.
  void close() {
    if (cancel()) return;
    std::unique_lock lock(mutex_);
    if (!outcome_) return;
    auto outcome = std::exchange(outcome_, std::nullopt);
    giveBack(lock, std::move(outcome->second));
  }

  // Starts the time-out on a strand of `executor`. The armed timer holds the
  // state, so a pending time-out always fires or is cancelled by the resume.
  void armTimeout(const Executor& executor, std::chrono::steady_clock::duration timeout) {
    auto timer = std::make_shared<asio::steady_timer>(asio::make_strand(executor), timeout);
    {
      std::lock_guard lock(mutex_);
      if (resumed_) return;
      timer_ = timer;
    }
    asio::post(timer->get_executor(), [timer, self = this->shared_from_this()] {
      timer->async_wait([timer, self](const std::error_code& error) {
        if (!error) self->resume(std::make_exception_ptr(ContinuationError(ContinuationError::Case::timedOut)), {});
      });
    });
  }

  Async<Value> wait() {
    return asio::async_initiate<const asio::use_awaitable_t<>&, void(std::exception_ptr, Value)>(
        [self = this->shared_from_this()](auto handler) {
          std::weak_ptr<ContinuationState> weak = self;
          PendingResume<Value> waiter(std::move(handler), [weak] {
            if (auto state = weak.lock()) state->cancelWait();
          });
          std::unique_lock lock(self->mutex_);
          if (!self->resumed_) {
            self->waiter_.emplace(std::move(waiter));
            return;
          }
          lock.unlock();
          self->deliver(std::move(waiter));
        },
        asio::use_awaitable);
  }

 private:
  using Outcome = std::pair<std::exception_ptr, Value>;

  void deliver(PendingResume<Value> waiter) {
    std::move(waiter).resumeWith([self = this->shared_from_this()] { return self->takeOutcome(); });
  }

  // On the waiting task's executor, just before it resumes.
  Outcome takeOutcome() {
    std::unique_lock lock(mutex_);
    if (!outcome_) return {cancellationError(), std::nullopt};  // given back as its waiter left
    auto outcome = std::move(*outcome_);
    outcome_.reset();
    if (!cancelRequested_ || !outcome.second || !undelivered_) return outcome;
    giveBack(lock, std::move(outcome.second));
    return {cancellationError(), std::nullopt};
  }

  // Hands `value` to the producer's undelivered hook, outside the lock.
  void giveBack(std::unique_lock<std::mutex>& lock, Value value) {
    auto undelivered = std::exchange(undelivered_, nullptr);
    lock.unlock();
    if (undelivered && value) undelivered(std::move(*value));
  }

  std::mutex mutex_;
  bool resumed_ = false;
  bool cancelRequested_ = false;
  std::optional<Outcome> outcome_;  // resumed, not yet taken by the waiting task
  Undelivered undelivered_;
  std::optional<PendingResume<Value>> waiter_;
  std::shared_ptr<asio::steady_timer> timer_;
};

// Resumes its state as abandoned when the last copy of the continuation goes
// away unresumed, so the waiting task does not wait for ever.
template <class T>
struct ContinuationOwner {
  explicit ContinuationOwner(std::shared_ptr<ContinuationState<T>> s) : state(std::move(s)) {}
  ContinuationOwner(const ContinuationOwner&) = delete;
  ContinuationOwner& operator=(const ContinuationOwner&) = delete;
  ~ContinuationOwner() {
    state->resume(std::make_exception_ptr(ContinuationError(ContinuationError::Case::abandoned)), {});
  }

  std::shared_ptr<ContinuationState<T>> state;
};

// Closes the state when the waiting coroutine leaves by any path (its body
// threw, it was cancelled before suspending, its frame was dropped), so no
// later resume reports a delivery that never happens, and a value it never
// took goes back to its producer.
template <class T>
struct ContinuationCloser {
  ~ContinuationCloser() { state->close(); }
  std::shared_ptr<ContinuationState<T>> state;
};

}  // namespace detail

// The resuming side of a suspended task. Copies share the one suspension.
template <class T>
class Continuation {
 public:
  // Each returns false when the wait has ended already. A value accepted
  // while the waiting task is being cancelled (the losing side of asio's
  // `||`) would reach a wait whose result is thrown away: given
  // `onUndelivered`, such a value goes back to it instead (on the waiting
  // task's executor) and the wait ends with operation_aborted, so the value
  // reaches exactly one of them.
  template <class U = T>
    requires(!std::is_void_v<U>)
  bool resume(std::type_identity_t<U> value, std::function<void(std::type_identity_t<U>)> onUndelivered = {}) const {
    return owner_->state->resume(nullptr, typename State::Value(std::in_place, std::move(value)),
                                 std::move(onUndelivered));
  }
  bool resume() const
    requires std::is_void_v<T>
  {
    return owner_->state->resume(nullptr, typename State::Value(std::in_place));
  }
  bool resume(std::exception_ptr error) const {
    if (!error) throw std::invalid_argument("a continuation resumed with an error needs a non-null error");
    return owner_->state->resume(std::move(error), std::nullopt);
  }
  template <class E>
    requires std::is_base_of_v<std::exception, E>
  bool resumeThrowing(E error) const {
    return resume(std::make_exception_ptr(std::move(error)));
  }

 private:
  using State = detail::ContinuationState<T>;
  explicit Continuation(std::shared_ptr<State> state)
      : owner_(std::make_shared<detail::ContinuationOwner<T>>(std::move(state))) {}

  template <class U, class Body>
  friend Async<U> withContinuation(Body body, std::optional<std::chrono::steady_clock::duration> timeout);

  std::shared_ptr<detail::ContinuationOwner<T>> owner_;
};

// Suspends the calling task until `body`'s continuation is resumed. `body` runs
// at once, on the caller, and usually stores the continuation where a reply will
// find it.
template <class T, class Body>
Async<T> withContinuation(Body body, std::optional<std::chrono::steady_clock::duration> timeout = std::nullopt) {
  auto state = std::make_shared<detail::ContinuationState<T>>();
  detail::ContinuationCloser<T> closer{state};
  if (timeout) state->armTimeout(co_await asio::this_coro::executor, *timeout);
  body(Continuation<T>(state));
  auto waiting = state->wait();
  auto value = co_await std::move(waiting);
  if constexpr (!std::is_void_v<T>) co_return std::move(*value);
}

}  // namespace platform
