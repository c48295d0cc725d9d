#pragma once

#include <chrono>
#include <thread>

namespace platform::testing {

// For a state that nothing announces (what an outside process shows, or a
// count the code under test keeps without a hook): reads it again until it
// holds or `limit` has passed. The pause only spaces the reads. Where the
// code offers an event, a test waits on that instead (Watched.hpp).
template <class Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace platform::testing
