#pragma once

#include <mutex>
#include <shared_mutex>
#include <utility>

namespace rtmpfluvio {

// Guards one value: reads share the lock, changes hold it alone. Users of one
// guarded value share one wrapper, so it can be neither copied nor moved.
template <class Value>
class FVAtomic {
 public:
  explicit FVAtomic(Value value) : value_(std::move(value)) {}
  FVAtomic(const FVAtomic&) = delete;
  FVAtomic& operator=(const FVAtomic&) = delete;

  Value value() const {
    const std::shared_lock lock(mutex_);
    return value_;
  }

  // Runs `transform` on the stored value alone, after every read and change
  // that took the lock before it. It must not touch this wrapper itself.
  template <class Transform>
  void mutate(Transform&& transform) {
    const std::unique_lock lock(mutex_);
    std::forward<Transform>(transform)(value_);
  }

 private:
  mutable std::shared_mutex mutex_;
  Value value_;
};

}  // namespace rtmpfluvio
