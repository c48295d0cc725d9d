#pragma once

#include <asio/co_spawn.hpp>
#include <asio/use_future.hpp>
#include <utility>

#include "Platform/Concurrency/Executor.hpp"

namespace platform {

// Runs `body` on `executor` and blocks the calling thread for its result (or
// rethrows its error). For program entry points and tests; never call it from
// a thread of `executor` itself.
template <class T>
T blockOn(Async<T> body, Executor executor = globalExecutor()) {
  return asio::co_spawn(executor, std::move(body), asio::use_future).get();
}

}  // namespace platform
