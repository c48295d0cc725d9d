#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "Platform/Concurrency/CoroutineSupport.hpp"
#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Concurrency/UnhandledError.hpp"

namespace platform {

class Task;

namespace detail {
struct TaskState;
// spawn() that also calls `onEnd` on the task's strand once the body has
// ended by any path (what TaskGroup counts its children with).
Task startTask(Executor executor, Async<void> body, std::string name, std::function<void()> onEnd);
}  // namespace detail

// Handle of an unstructured task. Dropping it does not stop the task.
class Task {
 public:
  Task() = default;

  // Asks the task to stop: the wait it is suspended in (a sleep, a
  // continuation, a stream, an actor call) ends with operation_aborted, and so
  // does every later co_await. The cancellation reaches each wait on the
  // strand that wait runs on. Safe from any thread; no effect once it has ended.
  void cancel() const;
  bool isCancelled() const;

 private:
  friend Task detail::startTask(Executor, Async<void>, std::string, std::function<void()>);
  explicit Task(std::shared_ptr<detail::TaskState> state) : state_(std::move(state)) {}
  std::shared_ptr<detail::TaskState> state_;
};

// Starts `body` detached on a strand of `executor`. The body never runs inside
// this call: it starts later, from the strand's queue. An exception that ends
// it is reported through the unhandled-error handler; cancellation is quiet.
// Throws RuntimeError::shutDown on a shut-down pool.
Task spawn(Executor executor, Async<void> body, std::string name = {});

// The same for a callable that returns the coroutine; the callable (and so a
// lambda's captures) lives until the coroutine ends. Prefer this to calling a
// capturing lambda in place, whose captures die with the temporary.
template <class Callable>
  requires std::is_invocable_r_v<Async<void>, Callable>
Task spawn(Executor executor, Callable callable, std::string name = {}) {
  return spawn(std::move(executor), detail::invokeHeld(std::move(callable)), std::move(name));
}

}  // namespace platform
