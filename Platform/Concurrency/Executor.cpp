#include "Platform/Concurrency/Executor.hpp"

#include <algorithm>
#include <asio/thread_pool.hpp>
#include <thread>

namespace platform {

Executor globalExecutor() {
  // Never destroyed: tasks may still be suspended on it while statics unwind.
  static auto* pool = new asio::thread_pool(std::max(2u, std::thread::hardware_concurrency()));
  return pool->get_executor();
}

}  // namespace platform
