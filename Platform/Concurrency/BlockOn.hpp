#pragma once

#include <asio/co_spawn.hpp>
#include <asio/use_future.hpp>
#include <type_traits>
#include <utility>

#include "Platform/Concurrency/CoroutineSupport.hpp"
#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Concurrency/RuntimeError.hpp"

namespace platform {

// Runs `body` on `executor` and blocks the calling thread for its result (or
// rethrows its error). For program entry points and tests. On a thread of the
// process pool (a task, an actor body, queue work) it throws
// RuntimeError::blockingOnPoolThread instead of risking the pool waiting on
// itself; after shutdownGlobalExecutor() it throws RuntimeError::shutDown.
template <class T>
T blockOn(Async<T> body, Executor executor = globalExecutor()) {
  if (detail::onPoolThread()) throw RuntimeError(RuntimeError::Case::blockingOnPoolThread);
  detail::refuseIfShutDown(executor);
  if constexpr (detail::needsOptionalResult<T>) {
    return std::move(*asio::co_spawn(executor, detail::wrapInOptional(std::move(body)), asio::use_future).get());
  } else {
    return asio::co_spawn(executor, std::move(body), asio::use_future).get();
  }
}

// The same for a callable that returns the coroutine (kept alive while it runs).
template <class Callable>
  requires detail::AsyncCallable<Callable>
auto blockOn(Callable callable, Executor executor = globalExecutor()) {
  return blockOn(detail::invokeHeld(std::move(callable)), std::move(executor));
}

}  // namespace platform
