#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

namespace platform {

using Executor = asio::any_io_executor;

// The result of every asynchronous member: a lazy coroutine that runs when awaited.
template <class T = void>
using Async = asio::awaitable<T>;

// The process-wide thread pool that actors, queues and tasks run on unless given
// another executor. Made on first use and kept until the process exits. Throws
// RuntimeError::shutDown once shutdownGlobalExecutor() has run.
Executor globalExecutor();

// The thread that network connections run on: their steps are short and
// follow one another, and on one thread each hands on to the next without
// waking another. Nothing that blocks or computes for long belongs on it.
// Shut down with the pool; it counts as a pool thread.
Executor networkExecutor();

// Stops the pool (and the network thread) and waits for its threads, dropping work still queued. Call
// it last in main (never from a pool thread), so that no task runs while the
// program's statics are destroyed. From then on, work submitted to the pool
// (spawn, blockOn, queues and actors on it) is refused with RuntimeError::shutDown;
// what the pool's own threads queue while they stop is dropped with the rest.
void shutdownGlobalExecutor();

namespace detail {

// Throws RuntimeError::shutDown when `executor` runs on the pool and the pool
// was shut down.
void refuseIfShutDown(const Executor& executor);

// True on a thread of the process pool (a task, an actor body, queue work).
bool onPoolThread();

}  // namespace detail

}  // namespace platform
