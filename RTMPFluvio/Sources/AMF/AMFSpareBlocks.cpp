#include "RTMPFluvio/Sources/AMF/AMFSpareBlocks.hpp"

#include <cstddef>
#include <new>

namespace rtmpfluvio::amfspareblocks {
namespace {

// Plain data, so that it outlives the guard that frees its blocks (an object
// ending later in the thread's exit frees its own), and initialised as a
// constant, so that reaching it needs no per-thread check.
struct Kept {
  static constexpr std::size_t kMost = 8;
  void* blocks[kMost] = {};
  std::size_t count = 0;
  bool closed = false;
};
thread_local Kept kept;

struct FreeAtThreadEnd {
  ~FreeAtThreadEnd() {
    kept.closed = true;
    while (kept.count > 0) ::operator delete(kept.blocks[--kept.count]);
  }
};

}  // namespace

void* take() noexcept { return kept.count > 0 ? kept.blocks[--kept.count] : nullptr; }

bool keep(void* block) noexcept {
  if (kept.count == Kept::kMost || kept.closed) return false;
  // Made with the thread's first kept block, so that the thread's end frees it.
  static thread_local const FreeAtThreadEnd guard;
  kept.blocks[kept.count++] = block;
  return true;
}

}  // namespace rtmpfluvio::amfspareblocks
