#pragma once

#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <future>
#include <thread>
#include <type_traits>

#include "Platform/Concurrency/Executor.hpp"

namespace fluvio {

// The one serial executor of the screen tree, its renderers and the screen:
// a dedicated thread, since a GL context belongs to the thread that made it.
// Made on first use, kept for the process.
class ScreenActor {
 public:
  static ScreenActor& shared();

  platform::Executor executor() { return context_.get_executor(); }
  bool isCurrent() const noexcept { return std::this_thread::get_id() == thread_.get_id(); }

  // Runs `work` on the actor and waits for its result; runs it in place when
  // already on the actor. For callers outside the actor (hosts, tests).
  template <class Work>
  auto run(Work&& work) -> std::invoke_result_t<Work> {
    if (isCurrent()) return work();
    std::packaged_task<std::invoke_result_t<Work>()> task(std::forward<Work>(work));
    auto result = task.get_future();
    asio::post(context_, [&task] { task(); });
    return result.get();
  }

  ~ScreenActor();

 private:
  ScreenActor();

  asio::io_context context_;
  asio::executor_work_guard<asio::io_context::executor_type> guard_;
  std::thread thread_;
};

}  // namespace fluvio
