#pragma once

#include <chrono>
#include <thread>

namespace platform::testing {

// Polls `condition` until it holds or `limit` has passed; generous limits keep
// a loaded machine from failing a test that is only slow.
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
