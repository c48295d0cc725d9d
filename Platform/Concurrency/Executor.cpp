#include "Platform/Concurrency/Executor.hpp"

#include <algorithm>
#include <asio/thread_pool.hpp>
#include <atomic>
#include <thread>

#include "Platform/Concurrency/RuntimeError.hpp"

namespace platform {

namespace {

asio::thread_pool& pool() {
  // Never destroyed: tasks may still be suspended on it while statics unwind.
  static auto* threads = new asio::thread_pool(std::max(2u, std::thread::hardware_concurrency()));
  return *threads;
}

asio::thread_pool& networkThread() {
  // One thread: work on it hands on to the next step without waking another.
  static auto* thread = new asio::thread_pool(1);
  return *thread;
}

std::atomic<bool> poolShutDown = false;

// Once the pool shuts down, work from outside it is refused. Its own threads
// run on until they stop and may still queue work: that shares the fate of
// the rest of the queue (what has not started when they stop never runs),
// where an error would escape the running handler and end the process.
bool refusesWork() { return poolShutDown && !detail::onPoolThread(); }

// Asked of the executor's context rather than its target's type: a strand,
// however it is wrapped, answers with the context it runs on.
bool runsOnPool(const Executor& executor) {
  if (!executor) return false;
  const auto& context = asio::query(executor, asio::execution::context);
  return &context == &pool() || &context == &networkThread();
}

}  // namespace

Executor globalExecutor() {
  if (refusesWork()) throw RuntimeError(RuntimeError::Case::shutDown);
  return pool().get_executor();
}

Executor networkExecutor() {
  if (refusesWork()) throw RuntimeError(RuntimeError::Case::shutDown);
  return networkThread().get_executor();
}

void shutdownGlobalExecutor() {
  poolShutDown = true;
  for (auto* threads : {&pool(), &networkThread()}) {
    threads->stop();
    threads->join();
  }
}

namespace detail {

void refuseIfShutDown(const Executor& executor) {
  if (refusesWork() && runsOnPool(executor)) throw RuntimeError(RuntimeError::Case::shutDown);
}

bool onPoolThread() {
  return pool().get_executor().running_in_this_thread() || networkThread().get_executor().running_in_this_thread();
}

}  // namespace detail

}  // namespace platform
