#pragma once

#include <asio/async_result.hpp>
#include <asio/bind_cancellation_slot.hpp>
#include <asio/bind_executor.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/co_spawn.hpp>
#include <asio/defer.hpp>
#include <asio/post.hpp>
#include <asio/use_awaitable.hpp>
#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

#include "Platform/Concurrency/BlockPool.hpp"
#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Concurrency/PendingResume.hpp"
#include "Platform/Concurrency/StrandExecutor.hpp"

namespace platform::detail {

template <class T>
using StrandCallValue = std::optional<std::conditional_t<std::is_void_v<T>, std::monostate, T>>;

template <class Body>
using BodyValue = typename std::invoke_result_t<Body>::value_type;

// Runs the coroutine `body()` returns, keeping `body` (and so a lambda's
// captures) in this frame until it ends.
template <class Body>
Async<StrandCallValue<BodyValue<Body>>> deliverAsOptional(Body body) {
  if constexpr (std::is_void_v<BodyValue<Body>>) {
    co_await body();
    co_return StrandCallValue<void>(std::in_place);
  } else {
    co_return StrandCallValue<BodyValue<Body>>(co_await body());
  }
}

// Runs the coroutine `body()` returns on `strand` while the caller waits on
// its own executor, holding `keepAlive` until the body has ended. A
// cancellation of the caller is not passed on where it is emitted (asio would
// run the body's cancellation handlers on the caller's thread, racing the
// strand): it is posted to the strand and emitted there through a signal of
// this call's own.
template <class T>
class StrandCall {
 public:
  using Value = StrandCallValue<T>;

  StrandCall(StrandExecutor strand, std::shared_ptr<const void> keepAlive)
      : strand_(std::move(strand)), keepAlive_(std::move(keepAlive)) {}

  template <class Handler, class Body>
  void operator()(Handler handler, Body body) {
    auto bridge = makePooled<Bridge>();
    auto strand = strand_;
    PendingResume<Value> caller(std::move(handler), [bridge, strand] {
      asio::post(strand, [bridge] {
        if (!bridge->ended) bridge->signal.emit(asio::cancellation_type::terminal);
      });
    });
    auto finished = [bridge, strand, keepAlive = keepAlive_, caller = std::move(caller)](
                        std::exception_ptr error, Value value = Value()) mutable {
      bridge->ended = true;
      // The spawned coroutine still unwinds after this handler: the signal its
      // cancellation state lives in is kept until the strand is done, and the
      // caller resumes from there, so that one step follows the other on one
      // thread rather than two running at once on two. The actor is let go
      // before the caller resumes: a caller holding the last reference then
      // destroys it on its own thread, not the strand at some later moment.
      asio::post(strand, [bridge, keepAlive = std::move(keepAlive), caller = std::move(caller),
                          error = std::move(error), value = std::move(value)]() mutable {
        keepAlive.reset();
        std::move(caller).handOff(std::move(error), std::move(value));
      });
    };
    auto start = [strand = strand_, bridge, body = std::move(body), finished = std::move(finished)]() mutable {
      asio::co_spawn(
          strand, deliverAsOptional(std::move(body)),
          asio::bind_cancellation_slot(bridge->signal.slot(), asio::bind_executor(strand, std::move(finished))));
    };
    // A call from the strand's own work starts at once, ahead of what else is
    // queued there, as a call within one actor does. Any other caller
    // suspends as this is queued: the thread it leaves free can run the body
    // rather than waking another.
    if (strand_.running_in_this_thread()) {
      start();
    } else {
      asio::defer(strand_, std::move(start));
    }
  }

 private:
  struct Bridge {
    asio::cancellation_signal signal;  // on the strand only
    bool ended = false;                // on the strand only
  };

  StrandExecutor strand_;
  std::shared_ptr<const void> keepAlive_;
};

template <class Body, class T = BodyValue<Body>>
Async<T> callOnStrand(StrandExecutor strand, std::shared_ptr<const void> keepAlive, Body body) {
  auto running = asio::async_initiate<const asio::use_awaitable_t<>&, void(std::exception_ptr, StrandCallValue<T>)>(
      StrandCall<T>(std::move(strand), std::move(keepAlive)), asio::use_awaitable, std::move(body));
  auto value = co_await std::move(running);
  if constexpr (!std::is_void_v<T>) co_return std::move(*value);
}

}  // namespace platform::detail
