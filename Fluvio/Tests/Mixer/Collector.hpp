#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Concurrency/Task.hpp"

namespace fluvio::testing {

// Drains a sequence on the process pool, so a test can wait for a count of
// elements with a deadline instead of blocking for ever.
template <class T>
class Collector {
 public:
  explicit Collector(platform::AsyncStream<T> stream) : state_(std::make_shared<State>()) {
    platform::spawn(platform::globalExecutor(), [state = state_, stream = std::move(stream)]() -> platform::Async<void> {
      while (auto element = co_await stream.next()) {
        std::lock_guard lock(state->mutex);
        state->elements.push_back(std::move(*element));
        state->changed.notify_all();
      }
      std::lock_guard lock(state->mutex);
      state->finished = true;
      state->changed.notify_all();
    });
  }

  // True once `count` elements came before `timeout`.
  bool waitFor(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, timeout,
                                    [&] { return state_->elements.size() >= count || state_->finished; }) &&
           state_->elements.size() >= count;
  }
  bool waitFinished(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, timeout, [&] { return state_->finished; });
  }
  std::vector<T> elements() const {
    std::lock_guard lock(state_->mutex);
    return state_->elements;
  }

 private:
  // Shared with the draining task, which may end after the collector.
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<T> elements;
    bool finished = false;
  };
  std::shared_ptr<State> state_;
};

}  // namespace fluvio::testing
