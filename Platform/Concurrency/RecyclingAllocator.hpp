#pragma once

// Blocks that live for one call or one wait (a call's cancellation bridge, a
// parked consumer) come from the small-block cache of the thread that makes
// or releases them, the cache that coroutine frames and queued steps use: a
// message that takes such a step costs no trip to the heap once the caches
// hold a few blocks. A block released on another thread goes to that
// thread's cache; each cache keeps a bounded number of blocks. Under
// AddressSanitizer the blocks come from the heap, so that a use after
// release is still caught.

#include <asio/recycling_allocator.hpp>
#include <memory>
#include <utility>

namespace platform::detail {

#if defined(__SANITIZE_ADDRESS__)
template <class T>
using RecyclingAllocator = std::allocator<T>;
#else
template <class T>
using RecyclingAllocator = asio::recycling_allocator<T>;
#endif

template <class T, class... Args>
std::shared_ptr<T> makeRecycled(Args&&... args) {
  return std::allocate_shared<T>(RecyclingAllocator<T>(), std::forward<Args>(args)...);
}

}  // namespace platform::detail
