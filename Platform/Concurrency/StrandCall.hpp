#pragma once

#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Concurrency/StrandExecutor.hpp"

namespace platform::detail {

template <class Body>
using BodyValue = typename std::invoke_result_t<Body>::value_type;

// Where a call's result waits for its caller (nothing, for a call of void).
template <class T>
using StrandCallResult = std::optional<std::conditional_t<std::is_void_v<T>, std::monostate, T>>;

// A body waiting in its caller's frame: `start` makes the coroutine that runs
// it on the strand, moving the body into that coroutine's frame, and that
// coroutine leaves the result in `result` (a StrandCallResult, in the
// caller's frame too). What runs the call knows neither type, so it is
// compiled once rather than for every caller's lambda.
struct StrandCallBody {
  Async<void> (*start)(void* body, void* result);
  void* body;
  void* result;
};

// Runs the body on `strand` while the caller waits on its own executor,
// holding `keepAlive` until the body has ended. A cancellation of the caller
// is not passed on where it is emitted (asio would run the body's
// cancellation handlers on the caller's thread, racing the strand): it is
// posted to the strand and emitted there through a signal of this call's own.
// Completes once the body has ended, with its error if it threw.
Async<std::monostate> runOnStrand(StrandExecutor strand, std::shared_ptr<const void> keepAlive, StrandCallBody body);

// Runs the coroutine `body()` returns, keeping `body` (and so a lambda's
// captures) in this frame until it ends.
template <class Body, class T = BodyValue<Body>>
Async<void> deliver(Body body, StrandCallResult<T>* result) {
  if constexpr (std::is_void_v<T>) {
    co_await body();
  } else {
    result->emplace(co_await body());
  }
}

template <class Body, class T = BodyValue<Body>>
Async<void> startBody(void* body, void* result) {
  return deliver(std::move(*static_cast<Body*>(body)), static_cast<StrandCallResult<T>*>(result));
}

// The body and its result stay in this frame until the call completes: the
// strand starts the body, and fills the result, before that.
template <class Body, class T = BodyValue<Body>>
Async<T> callOnStrand(StrandExecutor strand, std::shared_ptr<const void> keepAlive, Body body) {
  if constexpr (std::is_void_v<T>) {
    co_await runOnStrand(std::move(strand), std::move(keepAlive), StrandCallBody{&startBody<Body>, &body, nullptr});
  } else {
    StrandCallResult<T> result;
    co_await runOnStrand(std::move(strand), std::move(keepAlive), StrandCallBody{&startBody<Body>, &body, &result});
    co_return std::move(*result);
  }
}

}  // namespace platform::detail
