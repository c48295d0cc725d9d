#pragma once

#include <atomic>
#include <thread>
#include <vector>

namespace capturebench {

// Threads that keep a core each busy until destroyed: a loaded machine.
class BusyLoad {
 public:
  explicit BusyLoad(int threads);
  ~BusyLoad();
  BusyLoad(const BusyLoad&) = delete;
  BusyLoad& operator=(const BusyLoad&) = delete;

 private:
  std::atomic<bool> stopping_{false};
  std::vector<std::thread> threads_;
};

}  // namespace capturebench
