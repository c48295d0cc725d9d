#pragma once

// Blocks for the steps the runtime queues (a strand's queued work, a pool's
// queued work), for what lives for one call or one wait (a call's
// cancellation bridge, a parked consumer) and for media on its way through
// (sample buffers and their bytes), recycled per thread. A block goes back
// to the cache of the thread that took it, wherever it is released: a
// thread that only produces (an encoder's worker handing on its output) gets
// its blocks back from the pool threads that ran the steps, where a cache of
// the releasing thread would only ever fill on one side and stay empty on
// the other. Each cache keeps a bounded number and a bounded total size of
// blocks of each size and releases the rest, so a burst does not keep its
// memory. Under AddressSanitizer every block comes from the heap, so that a
// use after release is still caught.

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

namespace platform::detail {

void* allocateBlock(std::size_t size);
void releaseBlock(void* block, std::size_t size) noexcept;

// At most this many blocks of each size, and this many bytes of them, wait
// in one thread's cache, and as many more on their way back to it from
// other threads. Sizes are rounded up to a power of two from 64 bytes on;
// larger blocks than kLargestCachedBlock come from the heap each time.
inline constexpr std::size_t kCachedBlocksPerSize = 64;
inline constexpr std::size_t kCachedBytesPerSize = 512 * 1024;
inline constexpr std::size_t kLargestCachedBlock = 256 * 1024;

template <class T>
class BlockAllocator {
 public:
  using value_type = T;

  BlockAllocator() noexcept = default;
  template <class U>
  BlockAllocator(const BlockAllocator<U>&) noexcept {}

  T* allocate(std::size_t count) {
    static_assert(alignof(T) <= alignof(std::max_align_t), "blocks are aligned for fundamental types only");
    if (count > std::size_t(-1) / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(allocateBlock(count * sizeof(T)));
  }
  void deallocate(T* block, std::size_t count) noexcept { releaseBlock(block, count * sizeof(T)); }

  template <class U>
  friend bool operator==(const BlockAllocator&, const BlockAllocator<U>&) noexcept {
    return true;
  }
};

template <class T, class... Args>
std::shared_ptr<T> makePooled(Args&&... args) {
  return std::allocate_shared<T>(BlockAllocator<T>(), std::forward<Args>(args)...);
}

}  // namespace platform::detail
