#pragma once

#include <chrono>
#include <future>
#include <memory>

#include "Platform/Concurrency/BlockOn.hpp"

namespace fluvio::testing {

// A feeder's wait for room in `queue` (anything with room()), on a thread of
// its own, so the test can look at whether it has ended.
class RoomWait {
 public:
  template <class Queue>
  explicit RoomWait(std::shared_ptr<Queue> queue)
      : done_(std::async(std::launch::async, [queue] { platform::blockOn(queue->room()); })) {}
  // A wait that must not end yet is given a moment to show it would.
  bool endsWithin(std::chrono::milliseconds wait) { return done_.wait_for(wait) == std::future_status::ready; }

 private:
  std::future<void> done_;
};

}  // namespace fluvio::testing
