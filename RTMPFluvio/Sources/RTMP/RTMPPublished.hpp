#pragma once

#include <concepts>
#include <utility>
#include <vector>

#include "Platform/Concurrency/AsyncStream.hpp"

namespace rtmpfluvio {

// A state value that any number of observers follow: each subscription is a
// sequence of its own that starts with the present value and then gets every
// value published, so no observer takes another's. A subscriber that drops
// its sequence is forgotten at the next value. The sequences finish when the
// value goes away. Not thread-safe: the owner serialises access.
template <std::equality_comparable T>
class RTMPPublished {
 public:
  explicit RTMPPublished(T value, platform::BufferingPolicy bufferingPolicy = platform::BufferingPolicy::unbounded())
      : value_(std::move(value)), bufferingPolicy_(bufferingPolicy) {}

  RTMPPublished(const RTMPPublished&) = delete;
  RTMPPublished& operator=(const RTMPPublished&) = delete;

  const T& value() const noexcept { return value_; }

  // Stores `value` and hands it to every subscriber, also when it is the same.
  void assign(T value) {
    value_ = std::move(value);
    std::erase_if(subscribers_, [this](const auto& subscriber) {
      return subscriber.yield(value_) == platform::AsyncStream<T>::YieldResult::terminated;
    });
  }

  // Publishes `value` only when it differs from the present one.
  void setValue(T value) {
    if (value != value_) assign(std::move(value));
  }

  platform::AsyncStream<T> subscribe() {
    auto [stream, continuation] = platform::AsyncStream<T>::makeStream(bufferingPolicy_);
    continuation.yield(value_);
    subscribers_.push_back(std::move(continuation));
    return std::move(stream);
  }

 private:
  T value_;
  platform::BufferingPolicy bufferingPolicy_;
  std::vector<typename platform::AsyncStream<T>::Continuation> subscribers_;
};

}  // namespace rtmpfluvio
