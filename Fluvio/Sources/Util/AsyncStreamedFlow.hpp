#pragma once

#include <cstdint>
#include <optional>
#include <utility>

#include "Platform/Concurrency/AsyncStream.hpp"

namespace fluvio {

// A flow of elements handed to one consumer at a time: every read of
// `wrappedValue()` starts a new sequence and finishes the one handed out
// before, so the earlier consumer's iteration ends. The wrapper holds the only
// continuation, so going away finishes the current sequence too. Not
// thread-safe: the owner serialises access.
template <class T>
class AsyncStreamedFlow {
 public:
  using Continuation = typename platform::AsyncStream<T>::Continuation;

  explicit AsyncStreamedFlow(platform::BufferingPolicy bufferingPolicy = platform::BufferingPolicy::unbounded())
      : bufferingPolicy_(bufferingPolicy) {}

  AsyncStreamedFlow(const AsyncStreamedFlow&) = delete;
  AsyncStreamedFlow& operator=(const AsyncStreamedFlow&) = delete;
  AsyncStreamedFlow(AsyncStreamedFlow&&) noexcept = default;
  AsyncStreamedFlow& operator=(AsyncStreamedFlow&&) noexcept = default;

  platform::AsyncStream<T> wrappedValue() {
    auto [stream, continuation] = platform::AsyncStream<T>::makeStream(bufferingPolicy_);
    replaceContinuation(std::move(continuation));
    return stream;
  }

  // Dropped while no sequence is handed out.
  void yield(T element) const {
    if (continuation_) continuation_->yield(std::move(element));
  }

  // Ends the current consumer's sequence; later yields are dropped until the
  // next read of `wrappedValue()`.
  void finish() { replaceContinuation(std::nullopt); }

  // What the buffering policy dropped, over every sequence handed out.
  std::uint64_t droppedCount() const noexcept {
    return droppedBefore_ + (continuation_ ? continuation_->droppedCount() : 0);
  }

 private:
  void replaceContinuation(std::optional<Continuation> next) {
    if (continuation_) {
      continuation_->finish();
      droppedBefore_ += continuation_->droppedCount();
    }
    continuation_ = std::move(next);
  }

  platform::BufferingPolicy bufferingPolicy_;
  std::optional<Continuation> continuation_;
  std::uint64_t droppedBefore_ = 0;
};

}  // namespace fluvio
