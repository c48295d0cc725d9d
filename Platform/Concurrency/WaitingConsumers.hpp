#pragma once

#include <algorithm>
#include <asio/async_result.hpp>
#include <asio/use_awaitable.hpp>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "Platform/Concurrency/BlockPool.hpp"
#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Concurrency/PendingResume.hpp"
#include "Platform/Concurrency/UnhandledError.hpp"

namespace platform::detail {

// The consumers suspended on an empty buffer (of an AsyncStream or a Channel),
// in arrival order. `Owner` keeps them in `consumers_` under its `mutex_`; its
// `takeNextLocked()` gives what a consumer can have at once (an error and an
// element; nullopt: wait), and its `giveBack(T)` puts an element back at the
// front of its buffer. It befriends this class.
//
// A cancelled consumer leaves at once with operation_aborted. One that was
// already handed an element which had not reached it yet gives the element
// back, so nothing is lost when asio's `||` cancels the losing wait.
template <class T, class Owner>
class WaitingConsumers {
 public:
  using Value = std::optional<T>;

  struct Waiter {
    std::optional<PendingResume<Value>> resume;
    bool cancelled = false;  // under the owner's mutex
  };
  using Handle = std::shared_ptr<Waiter>;

  bool empty() const { return queue_.empty(); }

  // The next element of `owner`, awaited.
  static Async<Value> next(std::shared_ptr<Owner> owner) {
    return asio::async_initiate<const asio::use_awaitable_t<>&, void(std::exception_ptr, Value)>(
        [owner = std::move(owner)](auto handler) {
          std::unique_lock lock(owner->mutex_);
          auto ready = owner->takeNextLocked();
          if (!ready) {
            owner->consumers_.park(std::move(handler), owner);
            return;
          }
          lock.unlock();
          PendingResume<Value>(std::move(handler))(std::move(ready->first), std::move(ready->second));
        },
        asio::use_awaitable);
  }

 private:
  template <class Handler>
  void park(Handler&& handler, const std::shared_ptr<Owner>& owner) {
    auto waiter = makePooled<Waiter>();
    std::weak_ptr<Owner> weakOwner = owner;
    waiter->resume.emplace(std::forward<Handler>(handler), [weakOwner, waiter] {
      if (auto strong = weakOwner.lock()) withdraw(*strong, waiter);
    });
    queue_.push_back(std::move(waiter));
  }

 public:
  // Under the owner's lock; hand the result over after unlocking.
  Handle takeFirst() {
    auto waiter = std::move(queue_.front());
    queue_.pop_front();
    return waiter;
  }
  std::deque<Handle> takeAll() { return std::exchange(queue_, {}); }

  // Without the owner's lock: resumes `waiter` with `element` (nullopt: the
  // end), or with `error`.
  static void hand(std::shared_ptr<Owner> owner, Handle waiter, Value element, std::exception_ptr error = nullptr) {
    auto resume = std::move(*waiter->resume);
    std::move(resume).resumeWith([owner = std::move(owner), waiter = std::move(waiter), element = std::move(element),
                                  error = std::move(error)]() mutable {
      std::lock_guard lock(owner->mutex_);
      if (!waiter->cancelled) return std::pair<std::exception_ptr, Value>(std::move(error), std::move(element));
      if (element) owner->giveBack(std::move(*element));
      return std::pair<std::exception_ptr, Value>(cancellationError(), std::nullopt);
    });
  }

 private:
  static void withdraw(Owner& owner, const Handle& waiter) {
    std::unique_lock lock(owner.mutex_);
    waiter->cancelled = true;
    auto& queue = owner.consumers_.queue_;
    auto parked = std::find(queue.begin(), queue.end(), waiter);
    if (parked == queue.end()) return;  // handed already: the hand-over sees the flag
    queue.erase(parked);
    lock.unlock();
    std::move(*waiter->resume)(cancellationError(), std::nullopt);
  }

  std::deque<Handle> queue_;
};

}  // namespace platform::detail
