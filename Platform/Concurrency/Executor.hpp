#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

namespace platform {

using Executor = asio::any_io_executor;

// The result of every asynchronous member: a lazy coroutine that runs when awaited.
template <class T = void>
using Async = asio::awaitable<T>;

// The process-wide thread pool that actors, queues and tasks run on unless given
// another executor. Made on first use and kept until the process exits.
Executor globalExecutor();

// Stops the pool and waits for its threads, dropping work still queued. Call
// it last in main (never from a pool thread), so that no task runs while the
// program's statics are destroyed.
void shutdownGlobalExecutor();

}  // namespace platform
