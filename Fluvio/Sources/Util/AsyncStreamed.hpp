#pragma once

#include <concepts>
#include <utility>

#include "Platform/Concurrency/AsyncStream.hpp"

namespace fluvio {

// A state value whose real changes are published on one long-lived sequence.
// The wrapper holds the only continuation, so the sequence finishes when the
// wrapper goes away and no consumer waits for ever. Not thread-safe: the owner
// serialises access.
template <std::equality_comparable T>
class AsyncStreamed {
 public:
  explicit AsyncStreamed(T value, platform::BufferingPolicy bufferingPolicy = platform::BufferingPolicy::unbounded())
      : value_(std::move(value)), channel_(platform::AsyncStream<T>::makeStream(bufferingPolicy)) {}

  AsyncStreamed(const AsyncStreamed&) = delete;
  AsyncStreamed& operator=(const AsyncStreamed&) = delete;
  AsyncStreamed(AsyncStreamed&&) noexcept = default;
  AsyncStreamed& operator=(AsyncStreamed&&) noexcept = default;

  const T& value() const noexcept { return value_; }

  // Stores `newValue`; yields it only when it differs from the current value.
  void setValue(T newValue) {
    if (newValue == value_) return;
    value_ = std::move(newValue);
    channel_.second.yield(value_);
  }

  // The one sequence. The current value is yielded into it again, so a
  // consumer that starts iterating now sees the present state first.
  platform::AsyncStream<T> wrappedValue() const {
    channel_.second.yield(value_);
    return channel_.first;
  }

 private:
  T value_;
  std::pair<platform::AsyncStream<T>, typename platform::AsyncStream<T>::Continuation> channel_;
};

}  // namespace fluvio
