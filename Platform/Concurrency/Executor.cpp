#include "Platform/Concurrency/Executor.hpp"

#include <algorithm>
#include <asio/thread_pool.hpp>
#include <thread>

namespace platform {

namespace {

asio::thread_pool& pool() {
  // Never destroyed: tasks may still be suspended on it while statics unwind.
  static auto* threads = new asio::thread_pool(std::max(2u, std::thread::hardware_concurrency()));
  return *threads;
}

}  // namespace

Executor globalExecutor() { return pool().get_executor(); }

void shutdownGlobalExecutor() {
  pool().stop();
  pool().join();
}

}  // namespace platform
