// Where the block pool's blocks come from and go back to, counted by the
// program's operator new.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <thread>
#include <vector>

#include "Platform/Concurrency/BlockPool.hpp"
#include "Platform/Concurrency/AllocationTests/SkipWithoutRecycling.hpp"
#include "bench/AllocationCounter.hpp"

namespace {

using platform::detail::allocateBlock;
using platform::detail::kCachedBlocksPerSize;
using platform::detail::kCachedBytesPerSize;
using platform::detail::kLargestCachedBlock;
using platform::detail::releaseBlock;

constexpr std::size_t kSize = 100;
// As large as an encoded frame may be: a cache keeps fewer of these than of
// small blocks, bound by their bytes.
constexpr std::size_t kFrameSize = 64 * 1024;
constexpr std::size_t kKeptFrames = kCachedBytesPerSize / kFrameSize;
static_assert(kKeptFrames < kCachedBlocksPerSize);

// Blocks taken into a list made beforehand, so that the list's own storage
// is not counted.
class Blocks {
 public:
  explicit Blocks(std::size_t size = kSize) : size_(size) { items_.reserve(1024); }
  Blocks& take(std::size_t count) {
    for (std::size_t index = 0; index < count; ++index) items_.push_back(allocateBlock(size_));
    return *this;
  }
  void release() {
    for (void* block : items_) releaseBlock(block, size_);
    items_.clear();
  }
  const std::vector<void*>& items() const { return items_; }

 private:
  std::size_t size_;
  std::vector<void*> items_;
};

TEST(BlockPool, ABlockReleasedOnItsOwnThreadIsTakenAgain) {
  SKIP_WITHOUT_RECYCLING();
  std::thread([] {
    Blocks small, large(600), frames(kFrameSize), beyond(kLargestCachedBlock + 1);
    small.take(8).release();
    large.take(8).release();
    frames.take(kKeptFrames).release();
    const auto before = bench::allocationCount();
    for (int round = 0; round < 100; ++round) {
      small.take(8).release();
      large.take(8).release();
      frames.take(kKeptFrames).release();
    }
    EXPECT_EQ(bench::allocationCount() - before, 0);
    // A size beyond the largest class is the heap's, each time.
    const auto beforeBeyond = bench::allocationCount();
    beyond.take(3).release();
    EXPECT_EQ(bench::allocationCount() - beforeBeyond, 3);
  }).join();
}

// A thread that only hands work on gets its blocks back from the thread
// that ran the work.
TEST(BlockPool, ABlockReleasedOnAnotherThreadGoesBackToItsOwner) {
  SKIP_WITHOUT_RECYCLING();
  Blocks handed;
  std::thread([&] { handed.take(16); }).join();  // its cache is put away, and adopted by the next thread
  std::thread([] {
    Blocks own;
    own.take(16);
    std::thread([&] { own.release(); }).join();
    const auto before = bench::allocationCount();
    own.take(16);
    EXPECT_EQ(bench::allocationCount() - before, 0);
    own.release();
  }).join();
  handed.release();
}

TEST(BlockPool, ABurstIsReleasedBeyondWhatACacheKeeps) {
  SKIP_WITHOUT_RECYCLING();
  std::thread([] {
    constexpr std::size_t kBurst = 3 * kCachedBlocksPerSize;
    constexpr auto kBeyondCache = static_cast<std::int64_t>(kBurst - kCachedBlocksPerSize);
    Blocks blocks;
    blocks.take(kBurst).release();
    const auto before = bench::allocationCount();
    blocks.take(kBurst);
    EXPECT_EQ(bench::allocationCount() - before, kBeyondCache);
    // From another thread as well: what does not fit on its way back goes.
    std::thread([&] { blocks.release(); }).join();
    const auto beforeReturned = bench::allocationCount();
    blocks.take(kBurst).release();
    EXPECT_EQ(bench::allocationCount() - beforeReturned, kBeyondCache);
  }).join();
}

// A cache of large blocks is bound by their bytes, on its own thread's side
// and on the side of blocks coming back from others.
TEST(BlockPool, ACacheKeepsLargeBlocksUpToItsBytes) {
  SKIP_WITHOUT_RECYCLING();
  std::thread([] {
    Blocks frames(kFrameSize);
    frames.take(kKeptFrames).release();
    auto before = bench::allocationCount();
    frames.take(kKeptFrames).release();
    EXPECT_EQ(bench::allocationCount() - before, 0);
    frames.take(kKeptFrames + 1).release();
    before = bench::allocationCount();
    frames.take(kKeptFrames + 1);
    EXPECT_EQ(bench::allocationCount() - before, 1);

    std::thread([&] { frames.release(); }).join();
    before = bench::allocationCount();
    frames.take(kKeptFrames + 1);
    EXPECT_EQ(bench::allocationCount() - before, 1);
    frames.release();

    // One byte more is a class twice as large, of which half as many are kept.
    Blocks larger(kFrameSize + 1);
    larger.take(kKeptFrames).release();
    before = bench::allocationCount();
    larger.take(kKeptFrames);
    EXPECT_EQ(bench::allocationCount() - before, kKeptFrames / 2);
    larger.release();
  }).join();
}

// A frame made on a thread that only produces (an encoder's worker) and
// released where it was sent comes back to its maker.
TEST(BlockPool, ALargeBlockReleasedOnAnotherThreadGoesBackToItsOwner) {
  SKIP_WITHOUT_RECYCLING();
  std::thread([] {
    Blocks frames(kFrameSize);
    frames.take(kKeptFrames);
    std::thread([&] { frames.release(); }).join();
    std::int64_t made = 0;  // by taking blocks, not by starting threads
    for (int round = 0; round < 20; ++round) {
      const auto before = bench::allocationCount();
      frames.take(kKeptFrames);
      made += bench::allocationCount() - before;
      std::thread([&] { frames.release(); }).join();
    }
    EXPECT_EQ(made, 0);
  }).join();
}

TEST(BlockPool, BlocksKeepTheirBytes) {
  for (const std::size_t size : {std::size_t{1024}, kFrameSize, kLargestCachedBlock}) {
    std::thread([size] {
      Blocks blocks(size);
      blocks.take(4);
      for (std::size_t index = 0; index < 4; ++index) std::memset(blocks.items()[index], int(index + 1), size);
      for (std::size_t index = 0; index < 4; ++index) {
        const auto* bytes = static_cast<const unsigned char*>(blocks.items()[index]);
        EXPECT_EQ(bytes[0], index + 1);
        EXPECT_EQ(bytes[size - 1], index + 1);
      }
      blocks.release();
    }).join();
  }
}

}  // namespace

// A count whose bytes do not fit in a size is refused rather than wrapped
// round to a small block.
TEST(BlockPool, ACountBeyondMemoryIsRefused) {
  platform::detail::BlockAllocator<std::uint64_t> allocator;
  EXPECT_THROW((void)allocator.allocate(std::numeric_limits<std::size_t>::max() / 4), std::bad_array_new_length);
  SKIP_WITHOUT_RECYCLING();  // the sanitizer's heap reports such a size rather than refusing it
  EXPECT_THROW((void)allocateBlock(std::numeric_limits<std::size_t>::max() - 8), std::bad_alloc);
}
