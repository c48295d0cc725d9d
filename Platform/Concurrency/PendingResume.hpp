#pragma once

#include <asio/associated_cancellation_slot.hpp>
#include <asio/associated_executor.hpp>
#include <asio/defer.hpp>
#include <asio/execution/outstanding_work.hpp>
#include <asio/post.hpp>
#include <asio/prefer.hpp>
#include <asio/system_executor.hpp>
#include <exception>
#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "Platform/Concurrency/Executor.hpp"
#include "Platform/Concurrency/StrandExecutor.hpp"

namespace platform::detail {

// One suspended coroutine's completion handler (signature
// void(std::exception_ptr, Value)), type-erased. Resuming posts to the
// coroutine's own executor, so a producer never runs the consumer inline on
// its thread. Holds outstanding work so the executor stays alive meanwhile.
template <class Value>
class PendingResume {
 public:
  template <class Handler>
  explicit PendingResume(Handler&& handler) {
    emplace<std::decay_t<Handler>>(std::forward<Handler>(handler));
  }

  // Also calls `onCancel()` when the waiting task is cancelled. It runs where
  // the cancellation is emitted (the task's strand), so it must lock what it
  // shares with producers; it is dropped once the coroutine resumes.
  template <class Handler, class OnCancel>
  PendingResume(Handler&& handler, OnCancel onCancel) {
    auto slot = asio::get_associated_cancellation_slot(handler);
    if (slot.is_connected()) {
      slot.assign([onCancel = std::move(onCancel)](asio::cancellation_type) mutable { onCancel(); });
    }
    emplace<std::decay_t<Handler>>(std::forward<Handler>(handler));
  }

  PendingResume(PendingResume&& other) noexcept { takeFrom(other); }
  PendingResume& operator=(PendingResume&& other) noexcept {
    if (this != &other) {
      reset();
      takeFrom(other);
    }
    return *this;
  }
  ~PendingResume() { reset(); }

  void operator()(std::exception_ptr error, Value value) && {
    std::move(*this).resumeWith(
        [error = std::move(error), value = std::move(value)]() mutable { return Outcome{error, std::move(value)}; });
  }

  // The same from the last step of the work running now: the coroutine is
  // queued as that work's continuation, so a pool thread about to be free
  // resumes it itself instead of waking another thread.
  void handOff(std::exception_ptr error, Value value) && {
    std::move(*this).resume([](auto executor, auto step) { asio::defer(executor, std::move(step)); },
                            [error = std::move(error), value = std::move(value)]() mutable {
                              return Outcome{error, std::move(value)};
                            });
  }

  // Resumes with what `decide()` returns, evaluated on the coroutine's
  // executor just before it resumes: a wait cancelled while its value was on
  // the way can still hand the value back instead of losing it.
  template <class Decide>
  void resumeWith(Decide decide) && {
    std::move(*this).resume([](auto executor, auto step) { asio::post(executor, std::move(step)); }, std::move(decide));
  }

  using Outcome = std::pair<std::exception_ptr, Value>;

 private:
  template <class Queue, class Decide>
  void resume(Queue queue, Decide decide) && {
    auto executor = target_->executor();
    auto step = [target = std::move(*this), decide = std::move(decide)]() mutable {
      auto [error, value] = decide();
      target.target_->complete(std::move(error), std::move(value));
    };
    // A strand behind the erased executor takes the step as it is; the
    // erased executor would wrap it in a block of this thread's cache first.
    if (executor.target_type() == typeid(StrandExecutor)) {
      return queue(*executor.template target<StrandExecutor>(), std::move(step));
    }
    queue(std::move(executor), std::move(step));
  }

  struct Target {
    virtual ~Target() = default;
    virtual Executor executor() const = 0;
    virtual void complete(std::exception_ptr error, Value value) = 0;
    // Moves this into `storage` and ends this one when it lives in place;
    // one on the heap stays where it is. Returns where it is now.
    virtual Target* moveTo(void* storage) noexcept = 0;
    virtual void destroy() noexcept = 0;
  };

  template <class Handler>
  struct Holder final : Target {
    explicit Holder(Handler h)
        : executor_(asio::prefer(asio::get_associated_executor(h, Executor(asio::system_executor())),
                                 asio::execution::outstanding_work.tracked)),
          handler_(std::move(h)) {}
    Holder(Holder&& other) noexcept = default;

    Executor executor() const override { return executor_; }
    void complete(std::exception_ptr error, Value value) override { std::move(handler_)(error, std::move(value)); }
    Target* moveTo(void* storage) noexcept override {
      if constexpr (fitsInline<Handler>()) {
        auto* moved = new (storage) Holder(std::move(*this));
        this->~Holder();
        return moved;
      } else {
        return this;
      }
    }
    void destroy() noexcept override {
      if constexpr (fitsInline<Handler>()) {
        this->~Holder();
      } else {
        delete this;
      }
    }

    Executor executor_;
    Handler handler_;
  };

  // A coroutine's handler and its executor fit here, so waiting allocates
  // nothing for them.
  static constexpr std::size_t kStorageSize = 2 * sizeof(void*) + sizeof(Executor) + 32;

  template <class Handler>
  static constexpr bool fitsInline() {
    return sizeof(Holder<Handler>) <= kStorageSize && alignof(Holder<Handler>) <= alignof(std::max_align_t) &&
           std::is_nothrow_move_constructible_v<Handler>;
  }

  template <class Handler, class... Args>
  void emplace(Args&&... args) {
    if constexpr (fitsInline<Handler>()) {
      target_ = new (storage_) Holder<Handler>(std::forward<Args>(args)...);
    } else {
      target_ = new Holder<Handler>(std::forward<Args>(args)...);
    }
  }

  void takeFrom(PendingResume& other) noexcept {
    if (auto* target = std::exchange(other.target_, nullptr)) target_ = target->moveTo(storage_);
  }

  void reset() noexcept {
    if (target_) std::exchange(target_, nullptr)->destroy();
  }

  alignas(std::max_align_t) unsigned char storage_[kStorageSize];
  Target* target_ = nullptr;
};

}  // namespace platform::detail
