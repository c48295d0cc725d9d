#include "bench/capture/BusyLoad.hpp"

#include <cstdint>

#include "bench/AllocationCounter.hpp"

namespace capturebench {

BusyLoad::BusyLoad(int threads) {
  for (int index = 0; index < threads; ++index) {
    threads_.emplace_back([this] {
      bench::leaveAllocationCount();
      volatile std::uint64_t spins = 0;
      while (!stopping_.load(std::memory_order_relaxed)) spins = spins + 1;
    });
  }
}

BusyLoad::~BusyLoad() {
  stopping_ = true;
  for (auto& thread : threads_) thread.join();
}

}  // namespace capturebench
