#pragma once

// Child tasks tied to one owner (a connection's receive loop and media
// pumps). Contract:
// - spawn() starts a child like platform::spawn (later, on its own strand;
//   errors to the unhandled-error handler, cancellation quiet);
// - cancelAll() cancels every child and waits until all have ended; a child
//   spawned while it runs starts cancelled. Called from a child, that child's
//   own wait ends with its cancellation;
// - wait() waits until every child has ended; cancelling the waiting task
//   ends it with operation_aborted;
// - destroying the group cancels every child (without waiting for them).
// The group can be used again after cancelAll().
// Use:
//   group_.spawn([self]() -> Async<void> { co_await self->receiveLoop(); }, "receive");
//   co_await group_.cancelAll();  // in close()

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "Platform/Concurrency/CoroutineSupport.hpp"
#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Concurrency/Task.hpp"

namespace platform {

namespace detail {
struct TaskGroupState;
}

class TaskGroup {
 public:
  explicit TaskGroup(Executor executor = globalExecutor());
  ~TaskGroup();
  TaskGroup(const TaskGroup&) = delete;
  TaskGroup& operator=(const TaskGroup&) = delete;

  void spawn(Async<void> body, std::string name = {});
  template <class Callable>
    requires detail::AsyncCallable<Callable>
  void spawn(Callable callable, std::string name = {}) {
    spawn(detail::invokeHeld(std::move(callable)), std::move(name));
  }

  Async<void> cancelAll();
  Async<void> wait();

  // Children that have not ended yet.
  std::size_t count() const;

 private:
  std::shared_ptr<detail::TaskGroupState> state_;
};

}  // namespace platform
