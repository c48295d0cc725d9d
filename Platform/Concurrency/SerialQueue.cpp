#include "Platform/Concurrency/SerialQueue.hpp"

#include <mutex>
#include <optional>

namespace platform {

namespace {
std::mutex mainMutex;
std::optional<Executor> mainExecutor;
}  // namespace

void MainQueue::install(Executor executor) {
  std::lock_guard lock(mainMutex);
  mainExecutor = std::move(executor);
}

const SerialQueue& MainQueue::shared() {
  static const SerialQueue queue = [] {
    std::lock_guard lock(mainMutex);
    return SerialQueue("main", mainExecutor.value_or(globalExecutor()));
  }();
  return queue;
}

}  // namespace platform
