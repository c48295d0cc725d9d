#pragma once

#include <asio/async_result.hpp>
#include <asio/bind_executor.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <chrono>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <variant>

#include "Platform/Concurrency/ContinuationError.hpp"
#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Concurrency/PendingResume.hpp"

namespace platform {

namespace detail {

template <class T>
using Stored = std::conditional_t<std::is_void_v<T>, std::monostate, T>;

// What the waiting side and every copy of the continuation share. The first
// resume wins; later ones (a late reply, the time-out) change nothing.
template <class T>
class ContinuationState {
 public:
  using Result = std::variant<Stored<T>, std::exception_ptr>;

  bool resume(Result result) {
    std::optional<PendingResume<Result>> waiter;
    std::shared_ptr<asio::steady_timer> timer;
    {
      std::lock_guard lock(mutex_);
      if (resumed_) return false;
      resumed_ = true;
      if (waiter_) {
        waiter = std::move(waiter_);
        waiter_.reset();
      } else {
        result_ = std::move(result);
      }
      timer = std::move(timer_);
    }
    if (timer) {
      // The timer lives on its own strand; cancel it there.
      asio::post(timer->get_executor(), [timer] { timer->cancel(); });
    }
    if (waiter) std::move(*waiter)(std::move(result));
    return true;
  }

  // Starts the time-out on a strand of the waiting coroutine's executor.
  void armTimeout(const Executor& executor, std::chrono::steady_clock::duration timeout,
                  const std::shared_ptr<ContinuationState>& self) {
    auto timer = std::make_shared<asio::steady_timer>(asio::make_strand(executor), timeout);
    {
      std::lock_guard lock(mutex_);
      if (resumed_) return;
      timer_ = timer;
    }
    std::weak_ptr<ContinuationState> weak = self;
    asio::post(timer->get_executor(), [timer, weak] {
      timer->async_wait([timer, weak](const std::error_code& error) {
        if (error) return;
        if (auto state = weak.lock()) {
          state->resume(std::make_exception_ptr(ContinuationError(ContinuationError::Case::timedOut)));
        }
      });
    });
  }

  Async<Result> wait(std::shared_ptr<ContinuationState> self) {
    return asio::async_initiate<const asio::use_awaitable_t<>&, void(Result)>(
        [self](auto handler) {
          std::unique_lock lock(self->mutex_);
          if (self->result_) {
            auto result = std::move(*self->result_);
            self->result_.reset();
            lock.unlock();
            PendingResume<Result>(std::move(handler))(std::move(result));
          } else {
            self->waiter_.emplace(std::move(handler));
          }
        },
        asio::use_awaitable);
  }

 private:
  std::mutex mutex_;
  bool resumed_ = false;
  std::optional<Result> result_;
  std::optional<PendingResume<Result>> waiter_;
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
    state->resume(std::make_exception_ptr(ContinuationError(ContinuationError::Case::abandoned)));
  }

  std::shared_ptr<ContinuationState<T>> state;
};

}  // namespace detail

// The resuming side of a suspended task: resumed exactly once, with a value or
// an error, from any thread. Copies share the one suspension.
template <class T>
class Continuation {
 public:
  // Each returns false when the continuation was resumed already.
  template <class U = T>
    requires(!std::is_void_v<U>)
  bool resume(U value) const {
    return owner_->state->resume(typename State::Result(std::in_place_index<0>, std::move(value)));
  }
  bool resume() const
    requires std::is_void_v<T>
  {
    return owner_->state->resume(typename State::Result(std::in_place_index<0>));
  }
  bool resume(std::exception_ptr error) const {
    return owner_->state->resume(typename State::Result(std::in_place_index<1>, std::move(error)));
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
// find it. With a time-out, the task resumes with ContinuationError::timedOut
// unless a value or error came first.
template <class T, class Body>
Async<T> withContinuation(Body body, std::optional<std::chrono::steady_clock::duration> timeout = std::nullopt) {
  auto state = std::make_shared<detail::ContinuationState<T>>();
  if (timeout) state->armTimeout(co_await asio::this_coro::executor, *timeout, state);
  body(Continuation<T>(state));
  auto result = co_await state->wait(state);
  if (result.index() == 1) std::rethrow_exception(std::get<1>(result));
  if constexpr (!std::is_void_v<T>) co_return std::move(std::get<0>(result));
}

}  // namespace platform
