#include "bench/AllocationCounter.hpp"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::int64_t> allocations{0};
thread_local bool isLeft = false;

}  // namespace

// The extension module calls these too: the program's definitions take the
// place of the library's for every object loaded into the process. Every
// plain form is replaced, so that no block is made by one allocator and
// freed by another.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (!isLeft) allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size ? size : 1);
}
void* operator new(std::size_t size) {
  if (void* pointer = operator new(size, std::nothrow)) return pointer;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return operator new(size, std::nothrow); }
void operator delete(void* pointer) noexcept { std::free(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { std::free(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { std::free(pointer); }
void operator delete[](void* pointer) noexcept { std::free(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { std::free(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { std::free(pointer); }

namespace bench {

std::int64_t allocationCount() noexcept { return allocations.load(std::memory_order_relaxed); }

void leaveAllocationCount() noexcept { isLeft = true; }

}  // namespace bench
