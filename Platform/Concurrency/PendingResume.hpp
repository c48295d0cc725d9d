#pragma once

#include <asio/associated_executor.hpp>
#include <asio/execution/outstanding_work.hpp>
#include <asio/post.hpp>
#include <asio/prefer.hpp>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

#include "Platform/Concurrency/Executor.hpp"

namespace platform::detail {

// One suspended coroutine's completion handler, type-erased. Resuming posts the
// handler to the coroutine's own executor, so a producer never runs the consumer
// inline on its thread. Holds outstanding work so the executor stays alive.
template <class Value>
class PendingResume {
 public:
  template <class Handler>
  explicit PendingResume(Handler&& handler) {
    using H = std::decay_t<Handler>;
    auto executor = asio::prefer(asio::get_associated_executor(handler, globalExecutor()),
                                 asio::execution::outstanding_work.tracked);
    auto shared = std::make_shared<H>(std::forward<Handler>(handler));
    resume_ = [shared = std::move(shared), executor = std::move(executor)](Value value) mutable {
      asio::post(executor, [shared = std::move(shared), value = std::move(value)]() mutable {
        std::move (*shared)(std::move(value));
      });
    };
  }

  void operator()(Value value) && {
    auto resume = std::move(resume_);
    resume(std::move(value));
  }

 private:
  std::function<void(Value)> resume_;
};

}  // namespace platform::detail
