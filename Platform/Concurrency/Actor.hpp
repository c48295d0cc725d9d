#pragma once

// An actor serialises its state on a strand. Contract:
// - made only through Actor::make<T>(...), which a class's own make() calls
//   too: every actor constructor takes a Key first and passes it to Actor,
//   and only make() can create one, so an actor on the stack, from new or
//   from a plain std::make_shared does not compile. Work running on an actor
//   holds it, so the actor outlives all of its own work (a loop it starts
//   keeps it alive until the loop ends: give such loops a TaskGroup and
//   cancel it on close). Work an actor queues from its own destructor is not
//   held: it must not outlive the call;
// - isolated(body) takes a callable returning the coroutine (a lambda that
//   captures by value what the call needs, passed uncalled), runs it on the
//   strand and resumes the caller on its own executor; the callable lives
//   until the coroutine ends. A coroutine already made, or a lambda called in
//   place, does not compile: its captures would die with the temporary;
// - cancelling the caller's task reaches the body on the actor's strand;
// - reentrant at each co_await inside a body: re-check state after every
//   suspension, and keep multi-step writes whole with a single writer (a
//   Channel drained by one task);
// - enqueue(work) runs fire-and-forget work on the strand in call order.

#include <asio/co_spawn.hpp>
#include <asio/defer.hpp>
#include <asio/post.hpp>
#include <concepts>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "Platform/Concurrency/CoroutineSupport.hpp"
#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Concurrency/StrandCall.hpp"
#include "Platform/Concurrency/StrandExecutor.hpp"
#include "Platform/Concurrency/UnhandledError.hpp"

namespace platform {

class Actor {
 public:
  using Strand = StrandExecutor;

  // What make() hands an actor's constructor; nothing else can create one.
  class Key {
    friend class Actor;
    Key() = default;
  };

  explicit Actor(Key, Executor executor = globalExecutor()) : strand_(std::move(executor)) {}
  // An actor on another's strand: the two are one queue, so neither waits
  // for the other, and each may call the other's members from that strand.
  struct SharedStrand {
    Strand strand;
  };
  Actor(Key, SharedStrand shared) : strand_(std::move(shared.strand)) {}
  virtual ~Actor() = default;

  Actor(const Actor&) = delete;
  Actor& operator=(const Actor&) = delete;

  // The one way to make an actor: Derived(Key, args...), owned by the
  // returned pointer, which its running work shares.
  template <class Derived, class... Args>
    requires std::derived_from<Derived, Actor>
  static std::shared_ptr<Derived> make(Args&&... args) {
    auto actor = std::make_shared<Derived>(Key(), std::forward<Args>(args)...);
    static_cast<Actor&>(*actor).self_ = actor;
    return actor;
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
  // Runs the coroutine `body()` returns on the strand; the caller resumes on
  // its own executor. A member coroutine goes in as
  // [this, id] { return callBody(id); }.
  template <class Body>
    requires detail::AsyncCallable<Body>
  auto isolated(Body body) const {
    return detail::callOnStrand(strand_, retain(), std::move(body));
  }

 private:
  std::shared_ptr<const Actor> retain() const { return self_.lock(); }

  Strand strand_;
  std::weak_ptr<const Actor> self_;
};

}  // namespace platform
