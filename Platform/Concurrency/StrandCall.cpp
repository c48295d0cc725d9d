#include "Platform/Concurrency/StrandCall.hpp"

#include <asio/async_result.hpp>
#include <asio/bind_cancellation_slot.hpp>
#include <asio/bind_executor.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/co_spawn.hpp>
#include <asio/defer.hpp>
#include <asio/post.hpp>
#include <asio/use_awaitable.hpp>
#include <exception>

#include "Platform/Concurrency/BlockPool.hpp"
#include "Platform/Concurrency/PendingResume.hpp"

namespace platform::detail {

namespace {

using Done = std::monostate;

class StrandCall {
 public:
  StrandCall(StrandExecutor strand, std::shared_ptr<const void> keepAlive)
      : strand_(std::move(strand)), keepAlive_(std::move(keepAlive)) {}

  template <class Handler>
  void operator()(Handler handler, StrandCallBody body) {
    auto bridge = makePooled<Bridge>();
    auto strand = strand_;
    PendingResume<Done> caller(std::move(handler), [bridge, strand] {
      asio::post(strand, [bridge] {
        if (!bridge->ended) bridge->signal.emit(asio::cancellation_type::terminal);
      });
    });
    auto finished = [bridge, strand, keepAlive = keepAlive_, caller = std::move(caller)](std::exception_ptr error) mutable {
      bridge->ended = true;
      // The spawned coroutine still unwinds after this handler: the signal its
      // cancellation state lives in is kept until the strand is done, and the
      // caller resumes from there, so that one step follows the other on one
      // thread rather than two running at once on two. The actor is let go
      // before the caller resumes: a caller holding the last reference then
      // destroys it on its own thread, not the strand at some later moment.
      asio::post(strand, [bridge, keepAlive = std::move(keepAlive), caller = std::move(caller),
                          error = std::move(error)]() mutable {
        keepAlive.reset();
        std::move(caller).handOff(std::move(error), Done());
      });
    };
    auto start = [strand = strand_, bridge, body, finished = std::move(finished)]() mutable {
      asio::co_spawn(
          strand, body.start(body.body, body.result),
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

}  // namespace

Async<Done> runOnStrand(StrandExecutor strand, std::shared_ptr<const void> keepAlive, StrandCallBody body) {
  return asio::async_initiate<const asio::use_awaitable_t<>&, void(std::exception_ptr, Done)>(
      StrandCall(std::move(strand), std::move(keepAlive)), asio::use_awaitable, body);
}

}  // namespace platform::detail
