#pragma once

#include <asio/co_spawn.hpp>
#include <asio/strand.hpp>
#include <asio/use_awaitable.hpp>
#include <utility>

#include "Platform/Concurrency/CoroutineSupport.hpp"
#include "Platform/Concurrency/Executor.hpp"

namespace platform {

// Serialises its state on a strand. An async member wraps its body in
// `isolated(...)`: the body runs on the strand and the caller resumes on its
// own executor. Like any actor it is reentrant at each co_await inside the
// body, so state must be re-checked after every suspension.
class Actor {
 public:
  using Strand = asio::strand<Executor>;

  explicit Actor(Executor executor = globalExecutor()) : strand_(asio::make_strand(std::move(executor))) {}
  virtual ~Actor() = default;

  Actor(const Actor&) = delete;
  Actor& operator=(const Actor&) = delete;

  const Strand& strand() const noexcept { return strand_; }

 protected:
  // `body` should be a coroutine member taking its arguments by value, so that
  // they live in its frame.
  template <class T>
  Async<T> isolated(Async<T> body) const {
    if constexpr (detail::needsOptionalResult<T>) {
      return detail::unwrapOptional(
          asio::co_spawn(strand_, detail::wrapInOptional(std::move(body)), asio::use_awaitable));
    } else {
      return asio::co_spawn(strand_, std::move(body), asio::use_awaitable);
    }
  }

 private:
  Strand strand_;
};

}  // namespace platform
