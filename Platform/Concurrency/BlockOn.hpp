#pragma once

#include <optional>
#include <type_traits>
#include <utility>

#include "Platform/Concurrency/CoroutineSupport.hpp"
#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Concurrency/RuntimeError.hpp"

namespace platform {

namespace detail {

// Runs `body` on `executor` and blocks the calling thread until it has ended,
// rethrowing its error; refuses as blockOn does. The same for every result
// type, so it is compiled once.
void runBlocking(Async<void> body, Executor executor);

template <class T>
Async<void> storeResult(Async<T> body, std::optional<T>& result) {
  result.emplace(co_await std::move(body));
}

}  // namespace detail

// Runs `body` on `executor` and blocks the calling thread for its result (or
// rethrows its error). For program entry points and tests. On a thread of the
// process pool (a task, an actor body, queue work) it throws
// RuntimeError::blockingOnPoolThread instead of risking the pool waiting on
// itself; after shutdownGlobalExecutor() it throws RuntimeError::shutDown.
template <class T>
T blockOn(Async<T> body, Executor executor = globalExecutor()) {
  if constexpr (std::is_void_v<T>) {
    detail::runBlocking(std::move(body), std::move(executor));
  } else {
    // Filled before runBlocking returns; this frame outlives the run.
    std::optional<T> result;
    detail::runBlocking(detail::storeResult(std::move(body), result), std::move(executor));
    return std::move(*result);
  }
}

// The same for a callable that returns the coroutine (kept alive while it runs).
template <class Callable>
  requires detail::AsyncCallable<Callable>
auto blockOn(Callable callable, Executor executor = globalExecutor()) {
  return blockOn(detail::invokeHeld(std::move(callable)), std::move(executor));
}

}  // namespace platform
