#include "Platform/Concurrency/BlockPool.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <mutex>
#include <vector>

namespace platform::detail {

#if defined(__SANITIZE_ADDRESS__)

void* allocateBlock(std::size_t size) { return ::operator new(size); }
void releaseBlock(void* block, std::size_t) noexcept { ::operator delete(block); }

#else

namespace {

constexpr std::size_t kSmallestBlock = 64;
constexpr int kSizeClasses = std::bit_width(kLargestCachedBlock / kSmallestBlock);
static_assert(std::has_single_bit(kLargestCachedBlock) && kLargestCachedBlock >= kSmallestBlock);
constexpr int kUncached = -1;

constexpr std::size_t classSize(int kind) { return kSmallestBlock << kind; }

int sizeClass(std::size_t size) {
  if (size > kLargestCachedBlock) return kUncached;
  return size <= kSmallestBlock ? 0 : std::bit_width((size - 1) / kSmallestBlock);
}

// Blocks of each class a cache keeps, and as many on their way back: fewer
// of the large ones, so that a few frames' worth is all a thread holds.
constexpr auto kKeptBlocks = [] {
  std::array<std::size_t, kSizeClasses> kept{};
  for (int kind = 0; kind < kSizeClasses; ++kind) {
    kept[kind] = std::min(kCachedBlocksPerSize, kCachedBytesPerSize / classSize(kind));
  }
  return kept;
}();

struct Cache;

struct alignas(std::max_align_t) Header {
  Cache* owner;  // null: a block of the heap's, released to it
  int sizeClass;
  Header* next;  // while in a free list
};

// One thread's blocks. A cache outlives its thread: blocks it handed out may
// come back after the thread has ended, and a thread started later adopts it.
struct Cache {
  std::array<Header*, kSizeClasses> own{};  // the owning thread's only
  std::array<std::size_t, kSizeClasses> ownCount{};
  // Pushed by other threads, taken whole by the owner.
  std::array<std::atomic<Header*>, kSizeClasses> returned{};
  std::array<std::atomic<std::size_t>, kSizeClasses> returnedCount{};

  Header* take(int kind) {
    if (!own[kind]) {
      Header* list = returned[kind].exchange(nullptr, std::memory_order_acquire);
      std::size_t count = 0;
      for (Header* block = list; block; block = block->next) ++count;
      returnedCount[kind].fetch_sub(count, std::memory_order_relaxed);
      own[kind] = list;
      ownCount[kind] = count;
    }
    Header* block = own[kind];
    if (block) {
      own[kind] = block->next;
      --ownCount[kind];
    }
    return block;
  }

  void keep(Header* block) {
    const int kind = block->sizeClass;
    if (ownCount[kind] >= kKeptBlocks[kind]) return ::operator delete(block);
    block->next = own[kind];
    own[kind] = block;
    ++ownCount[kind];
  }

  // From a thread other than the owner.
  void giveBack(Header* block) {
    const int kind = block->sizeClass;
    if (returnedCount[kind].fetch_add(1, std::memory_order_relaxed) >= kKeptBlocks[kind]) {
      returnedCount[kind].fetch_sub(1, std::memory_order_relaxed);
      return ::operator delete(block);
    }
    block->next = returned[kind].load(std::memory_order_relaxed);
    while (!returned[kind].compare_exchange_weak(block->next, block, std::memory_order_release,
                                                 std::memory_order_relaxed)) {
    }
  }

  // The owning thread ends: what waits here goes to the heap.
  void empty() {
    for (int kind = 0; kind < kSizeClasses; ++kind) {
      while (Header* block = take(kind)) ::operator delete(block);
    }
  }
};

// The caches of threads that ended, for threads that start later.
struct Orphans {
  std::mutex mutex;
  std::vector<Cache*> caches;
};

Orphans& orphans() {
  // Never destroyed: threads may end while statics unwind.
  static auto* orphans = new Orphans();
  return *orphans;
}

thread_local bool threadEnded = false;

// A thread's claim on a cache, from its first block to its end.
class ThreadCache {
 public:
  ThreadCache() {
    auto& [mutex, caches] = orphans();
    std::lock_guard lock(mutex);
    if (caches.empty()) {
      cache_ = new Cache();
    } else {
      cache_ = caches.back();
      caches.pop_back();
    }
  }
  ~ThreadCache() {
    threadEnded = true;
    cache_->empty();
    auto& [mutex, caches] = orphans();
    std::lock_guard lock(mutex);
    caches.push_back(cache_);
  }
  Cache* get() const noexcept { return cache_; }

 private:
  Cache* cache_;
};

// Null while the thread ends, once its cache has been put away.
Cache* thisThreadCache() {
  if (threadEnded) return nullptr;
  thread_local ThreadCache cache;
  return cache.get();
}

void* payload(Header* block) { return block + 1; }

}  // namespace

void* allocateBlock(std::size_t size) {
  // Adding the header to a size this large would wrap round to a small block.
  if (size > std::size_t(-1) - sizeof(Header)) throw std::bad_alloc();
  const int kind = sizeClass(size);
  Cache* cache = kind == kUncached ? nullptr : thisThreadCache();
  Header* block = cache ? cache->take(kind) : nullptr;
  if (!block) {
    block = static_cast<Header*>(::operator new(sizeof(Header) + (cache ? classSize(kind) : size)));
    block->sizeClass = kind;
  }
  block->owner = cache;
  return payload(block);
}

void releaseBlock(void* pointer, std::size_t) noexcept {
  Header* block = static_cast<Header*>(pointer) - 1;
  Cache* owner = block->owner;
  if (!owner) return ::operator delete(block);
  if (owner == thisThreadCache()) return owner->keep(block);
  owner->giveBack(block);
}

#endif

}  // namespace platform::detail
