#include "bench/capture/AllocationCounter.hpp"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::int64_t> allocations{0};
thread_local bool isLeft = false;

}  // namespace

// The extension module calls these too: the program's definitions take the
// place of the library's for every object loaded into the process.
void* operator new(std::size_t size) {
  if (!isLeft) allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* pointer = std::malloc(size ? size : 1)) return pointer;
  throw std::bad_alloc();
}
void operator delete(void* pointer) noexcept { std::free(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { std::free(pointer); }

namespace capturebench {

std::int64_t allocationCount() noexcept { return allocations.load(std::memory_order_relaxed); }

void leaveAllocationCount() noexcept { isLeft = true; }

}  // namespace capturebench
