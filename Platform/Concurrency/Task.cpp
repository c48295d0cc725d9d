#include "Platform/Concurrency/Task.hpp"

#include <asio/bind_cancellation_slot.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/co_spawn.hpp>
#include <asio/post.hpp>
#include <atomic>

#include "Platform/Concurrency/StrandExecutor.hpp"

namespace platform {

namespace detail {

struct TaskState {
  explicit TaskState(Executor executor) : strand(std::move(executor)) {}

  StrandExecutor strand;
  asio::cancellation_signal signal;  // used on `strand` only
  std::atomic<bool> cancelled = false;
  bool ended = false;  // on `strand` only
};

Task startTask(Executor executor, Async<void> body, std::string name, std::function<void()> onEnd) {
  detail::refuseIfShutDown(executor);
  auto state = std::make_shared<detail::TaskState>(std::move(executor));
  // Posting (rather than co_spawn's dispatch) keeps the body out of the
  // spawner's call even when the spawner runs on a pool thread.
  asio::post(state->strand, [state, body = std::move(body), name = std::move(name), onEnd = std::move(onEnd)]() mutable {
    asio::co_spawn(state->strand, std::move(body),
                   asio::bind_cancellation_slot(state->signal.slot(), [state, name = std::move(name),
                                                                       onEnd = std::move(onEnd)](std::exception_ptr error) {
                     state->ended = true;
                     detail::reportUnhandledError(name, error);
                     if (onEnd) onEnd();
                   }));
  });
  return Task(state);
}

}  // namespace detail

Task spawn(Executor executor, Async<void> body, std::string name) {
  return detail::startTask(std::move(executor), std::move(body), std::move(name), {});
}

void Task::cancel() const {
  if (!state_ || state_->cancelled.exchange(true)) return;
  asio::post(state_->strand, [state = state_] {
    if (!state->ended) state->signal.emit(asio::cancellation_type::terminal);
  });
}

bool Task::isCancelled() const { return state_ && state_->cancelled; }

}  // namespace platform
