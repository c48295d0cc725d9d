#pragma once

#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <exception>
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
  class Error : public std::exception {
   public:
    enum class Case {
      // A screen-tree operation ran on a thread other than the actor's.
      notIsolated,
    };
    explicit Error(Case value) : case_(value) {}
    Case value() const noexcept { return case_; }
    const char* what() const noexcept override { return "ScreenActor.Error.notIsolated"; }

   private:
    Case case_;
  };

  static ScreenActor& shared();

  platform::Executor executor() { return context_.get_executor(); }
  bool isCurrent() const noexcept { return std::this_thread::get_id() == thread_.get_id(); }
  // Throws Error::notIsolated off the actor: the tree is not locked, so a
  // call from elsewhere would race the frame being composed.
  void assertIsolated() const {
    if (!isCurrent()) throw Error(Error::Case::notIsolated);
  }

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
