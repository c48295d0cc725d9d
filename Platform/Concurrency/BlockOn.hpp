#pragma once

#include <asio/co_spawn.hpp>
#include <asio/use_future.hpp>
#include <type_traits>
#include <utility>

#include "Platform/Concurrency/CoroutineSupport.hpp"
#include "Platform/Concurrency/Executor.hpp"

namespace platform {

// Runs `body` on `executor` and blocks the calling thread for its result (or
// rethrows its error). For program entry points and tests; never call it from
// a thread of `executor` itself.
template <class T>
T blockOn(Async<T> body, Executor executor = globalExecutor()) {
  if constexpr (detail::needsOptionalResult<T>) {
    return std::move(*asio::co_spawn(executor, detail::wrapInOptional(std::move(body)), asio::use_future).get());
  } else {
    return asio::co_spawn(executor, std::move(body), asio::use_future).get();
  }
}

// The same for a callable that returns the coroutine (kept alive while it runs).
template <class Callable>
  requires std::is_invocable_v<Callable>
auto blockOn(Callable callable, Executor executor = globalExecutor()) {
  return blockOn(detail::invokeHeld(std::move(callable)), std::move(executor));
}

}  // namespace platform
