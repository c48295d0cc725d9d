#pragma once

#include <vector>

#include "Platform/Concurrency/Continuation.hpp"
#include "Platform/Concurrency/Executor.hpp"

namespace fluvio {

// The feeders of an actor's bounded queue that wait for room. Touched on the
// actor's strand only; the actor says when there is room.
class RoomWaiters {
 public:
  // Resumes at once when `hasRoom`, else at the next resumeIf(true).
  platform::Async<void> wait(bool hasRoom) {
    if (hasRoom) co_return;
    auto waiting = platform::withContinuation<void>(
        [this](platform::Continuation<void> resume) { waiters_.push_back(std::move(resume)); });
    co_await std::move(waiting);
  }

  // Resumes every waiter when `hasRoom`; each re-checks after its own hop.
  void resumeIf(bool hasRoom) {
    if (!hasRoom) return;
    for (const auto& waiter : std::exchange(waiters_, {})) waiter.resume();
  }

 private:
  std::vector<platform::Continuation<void>> waiters_;
};

}  // namespace fluvio
