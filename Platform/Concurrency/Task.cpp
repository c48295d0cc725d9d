#include "Platform/Concurrency/Task.hpp"

#include <asio/bind_cancellation_slot.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/co_spawn.hpp>
#include <asio/post.hpp>
#include <asio/strand.hpp>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <system_error>

namespace platform {

namespace detail {

struct TaskState {
  explicit TaskState(Executor executor) : strand(asio::make_strand(std::move(executor))) {}

  asio::strand<Executor> strand;
  asio::cancellation_signal signal;  // used on `strand` only
  std::atomic<bool> cancelled = false;
  std::atomic<bool> ended = false;
};

}  // namespace detail

namespace {

std::mutex handlerMutex;

UnhandledErrorHandler& currentHandler() {
  static UnhandledErrorHandler handler = [](const std::string& taskName, std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "task %s ended with an error: %s\n", taskName.c_str(), e.what());
    } catch (...) {
      std::fprintf(stderr, "task %s ended with an unknown error\n", taskName.c_str());
    }
  };
  return handler;
}

void report(const std::string& taskName, std::exception_ptr error) {
  UnhandledErrorHandler handler;
  {
    std::lock_guard lock(handlerMutex);
    handler = currentHandler();
  }
  if (handler) handler(taskName, error);
}

}  // namespace

UnhandledErrorHandler setUnhandledErrorHandler(UnhandledErrorHandler handler) {
  std::lock_guard lock(handlerMutex);
  std::swap(currentHandler(), handler);
  return handler;
}

bool isCancellation(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::system_error& e) {
    return e.code() == asio::error::operation_aborted;
  } catch (...) {
    return false;
  }
}

Task spawn(Executor executor, Async<void> body, std::string name) {
  auto state = std::make_shared<detail::TaskState>(std::move(executor));
  asio::co_spawn(state->strand, std::move(body),
                 asio::bind_cancellation_slot(state->signal.slot(),
                                              [state, name = std::move(name)](std::exception_ptr error) {
                                                state->ended = true;
                                                if (error && !isCancellation(error)) report(name, error);
                                              }));
  return Task(state);
}

void Task::cancel() const {
  if (!state_ || state_->cancelled.exchange(true)) return;
  asio::post(state_->strand, [state = state_] {
    if (!state->ended) state->signal.emit(asio::cancellation_type::terminal);
  });
}

bool Task::isCancelled() const { return state_ && state_->cancelled; }

}  // namespace platform
