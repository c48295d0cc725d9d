#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "Platform/Concurrency/CoroutineSupport.hpp"
#include "Platform/Concurrency/Executor.hpp"

namespace platform {

namespace detail {
struct TaskState;
}

// Handle of an unstructured task. Dropping it does not stop the task.
class Task {
 public:
  Task() = default;

  // Asks the task to stop: the operation it awaits (a sleep, a timer) ends
  // with operation_aborted. Safe from any thread; no effect once it has ended.
  void cancel() const;
  bool isCancelled() const;

 private:
  friend Task spawn(Executor, Async<void>, std::string);
  explicit Task(std::shared_ptr<detail::TaskState> state) : state_(std::move(state)) {}
  std::shared_ptr<detail::TaskState> state_;
};

// Starts `body` detached on a strand of `executor`. An exception that ends it
// is reported through the unhandled-error handler; cancellation is quiet.
Task spawn(Executor executor, Async<void> body, std::string name = {});

// The same for a callable that returns the coroutine; the callable (and so a
// lambda's captures) lives until the coroutine ends. Prefer this to calling a
// capturing lambda in place, whose captures die with the temporary.
template <class Callable>
  requires std::is_invocable_r_v<Async<void>, Callable>
Task spawn(Executor executor, Callable callable, std::string name = {}) {
  return spawn(std::move(executor), detail::invokeHeld(std::move(callable)), std::move(name));
}

using UnhandledErrorHandler = std::function<void(const std::string& taskName, std::exception_ptr)>;

// Replaces where task errors go (standard error by default); returns the old handler.
UnhandledErrorHandler setUnhandledErrorHandler(UnhandledErrorHandler handler);

// True when `error` is the cancellation of an awaited operation.
bool isCancellation(std::exception_ptr error);

}  // namespace platform
