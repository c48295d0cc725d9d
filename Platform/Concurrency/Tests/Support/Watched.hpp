#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>

namespace platform::testing {

// A value that the code under test (or its observer) changes from any thread
// and a test waits on: every change wakes the waiter, so the wait ends on the
// event itself. The limit only guards against a test that would hang.
template <class T>
class Watched {
 public:
  explicit Watched(T initial = T{}) : value_(std::move(initial)) {}
  Watched(const Watched&) = delete;
  Watched& operator=(const Watched&) = delete;

  void set(T value) {
    update([&](T& current) { current = std::move(value); });
  }
  // Notifies under the lock: a waiter that sees the change may destroy this
  // at once, so nothing may touch it after the lock is released.
  template <class Change>
  void update(Change change) {
    std::lock_guard lock(mutex_);
    change(value_);
    changed_.notify_all();
  }
  T load() const {
    std::lock_guard lock(mutex_);
    return value_;
  }

  template <class Condition>
  bool waitUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return condition(value_); });
  }
  bool waitFor(const T& expected, std::chrono::milliseconds limit = std::chrono::seconds(10)) const {
    return waitUntil([&](const T& value) { return value == expected; }, limit);
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  T value_;
};

// Counts events and wakes whoever waits for a count.
class WatchedCount : public Watched<int> {
 public:
  void add(int n = 1) {
    update([n](int& count) { count += n; });
  }
  // Whether the count got to at least `count` within `limit`; a count that
  // jumps past it still ends the wait.
  bool reaches(int count, std::chrono::milliseconds limit = std::chrono::seconds(10)) const {
    return waitUntil([count](int now) { return now >= count; }, limit);
  }
};

// Raised once by the observer; the test waits for it.
class Signal : public Watched<bool> {
 public:
  void raise() { set(true); }
  bool raised() const { return load(); }
  bool wait(std::chrono::milliseconds limit = std::chrono::seconds(10)) const { return waitFor(true, limit); }
};

}  // namespace platform::testing
