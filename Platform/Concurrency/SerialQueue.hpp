#pragma once

#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Concurrency/StrandExecutor.hpp"
#include "Platform/Concurrency/UnhandledError.hpp"

namespace platform {

// A labelled serial queue: work submitted to it runs one item at a time, in
// submission order, on the executor's threads. An exception escaping an item
// goes to the unhandled-error handler under the queue's label. Submitting to a
// queue on a shut-down pool throws RuntimeError::shutDown.
class SerialQueue {
 public:
  explicit SerialQueue(std::string label, Executor executor = globalExecutor())
      : label_(std::make_shared<const std::string>(std::move(label))), strand_(std::move(executor)) {}

  const std::string& label() const noexcept { return *label_; }
  Executor executor() const { return strand_; }

  template <class Work>
  void async(Work&& work) const {
    detail::refuseIfShutDown(strand_);
    asio::post(strand_, [label = label_, work = std::forward<Work>(work)]() mutable { run(*label, work); });
  }

  // Runs `work` on the queue once `delay` has passed.
  template <class Work>
  void asyncAfter(std::chrono::steady_clock::duration delay, Work&& work) const {
    detail::refuseIfShutDown(strand_);
    auto timer = std::make_shared<asio::steady_timer>(strand_, delay);
    timer->async_wait([timer, label = label_, work = std::forward<Work>(work)](const std::error_code&) mutable {
      run(*label, work);
    });
  }

 private:
  template <class Work>
  static void run(const std::string& label, Work& work) {
    try {
      work();
    } catch (...) {
      detail::reportUnhandledError(label, std::current_exception());
    }
  }

  std::shared_ptr<const std::string> label_;  // shared with queued work
  StrandExecutor strand_;
};

// The application's main queue. Until a GUI loop installs its own executor it
// is a serial queue on the process pool.
class MainQueue {
 public:
  static const SerialQueue& shared();
  // Takes effect for the first call of shared() only; call before it.
  static void install(Executor executor);
};

}  // namespace platform
