#pragma once

// An actor serialises its state on a strand. Contract:
// - made shared, through Actor::make<T>(...) or a class's own make() that
//   passes its new object to adopt(). Work running on such an actor holds it,
//   so the actor outlives all of its own work (a loop it starts keeps it alive
//   until the loop ends: give such loops a TaskGroup and cancel it on close).
//   An actor not made so (a test's local, or one calling itself from its
//   destructor) is not held: its owner must outlive its work;
// - isolated(body) runs the body on the strand and resumes the caller on its
//   own executor;
// - cancelling the caller's task reaches the body on the actor's strand;
// - reentrant at each co_await inside a body: re-check state after every
//   suspension, and keep multi-step writes whole with a single writer (a
//   Channel drained by one task);
// - enqueue(work) runs fire-and-forget work on the strand in call order.

#include <asio/co_spawn.hpp>
#include <asio/defer.hpp>
#include <asio/post.hpp>
#include <asio/strand.hpp>
#include <concepts>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "Platform/Concurrency/CoroutineSupport.hpp"
#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Concurrency/StrandCall.hpp"
#include "Platform/Concurrency/UnhandledError.hpp"

namespace platform {

class Actor {
 public:
  using Strand = asio::strand<Executor>;

  explicit Actor(Executor executor = globalExecutor()) : strand_(asio::make_strand(std::move(executor))) {}
  virtual ~Actor() = default;

  Actor(const Actor&) = delete;
  Actor& operator=(const Actor&) = delete;

  // Makes an actor whose constructor is public.
  template <class Derived, class... Args>
    requires std::derived_from<Derived, Actor>
  static std::shared_ptr<Derived> make(Args&&... args) {
    return adopt(std::make_shared<Derived>(std::forward<Args>(args)...));
  }

  const Strand& strand() const noexcept { return strand_; }

  // Runs `work` (a plain callable, or one returning Async<void>) on the strand
  // after everything enqueued before it; a coroutine runs to its first
  // suspension before the next item starts. Errors go to the unhandled-error
  // handler.
  template <class Work>
    requires std::is_invocable_v<Work>
  void enqueue(Work work) const {
    auto self = retain();
    detail::refuseIfShutDown(strand_);
    // Deferred: queued as the continuation of the work running now, so a
    // pool thread hands it on without waking another; order is the strand's.
    asio::defer(strand_, [self = std::move(self), strand = strand_, work = std::move(work)]() mutable {
      if constexpr (detail::AsyncCallable<Work>) {
        asio::co_spawn(strand, detail::invokeHeld(std::move(work)),
                       [self](std::exception_ptr error) { detail::reportUnhandledError("enqueued actor work", error); });
      } else {
        try {
          work();
        } catch (...) {
          detail::reportUnhandledError("enqueued actor work", std::current_exception());
        }
      }
    });
  }

 protected:
  // For a class's own make(): registers the new actor's owner so that work
  // running on the actor can hold it.
  template <class Derived>
  static std::shared_ptr<Derived> adopt(std::shared_ptr<Derived> actor) {
    static_cast<Actor&>(*actor).self_ = actor;
    return actor;
  }

  // Runs `body` on the strand; the caller resumes on its own executor. `body`
  // should be a coroutine member taking its arguments by value, so that they
  // live in its frame.
  template <class T>
  Async<T> isolated(Async<T> body) const {
    return detail::callOnStrand(strand_, retain(), std::move(body));
  }

  // The same for a callable returning the coroutine (a capturing lambda,
  // passed uncalled): it is kept alive until the coroutine ends.
  template <class Callable>
    requires detail::AsyncCallable<Callable>
  auto isolated(Callable callable) const {
    return isolated(detail::invokeHeld(std::move(callable)));
  }

 private:
  std::shared_ptr<const Actor> retain() const { return self_.lock(); }

  Strand strand_;
  std::weak_ptr<const Actor> self_;
};

}  // namespace platform
