// Counts heap blocks made while a thread of its own (a capture thread, an
// encoder's worker) queues steps on an actor's strand, which is how every
// captured or encoded frame enters the pipeline. Its own program: the
// counter replaces the global operator new.

#include <gtest/gtest.h>

#include <asio/post.hpp>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "Platform/Concurrency/Actor.hpp"
#include "Platform/Concurrency/AllocationTests/SkipWithoutRecycling.hpp"
#include "bench/AllocationCounter.hpp"

namespace {

using namespace platform;

class Idle : public Actor {
 public:
  using Actor::Actor;
};

// Posts one step to each of `strands`, each once the one before has run; a
// strand never used before is idle, so that each step has its strand queue
// itself on the pool.
void postOneEach(const std::vector<std::shared_ptr<Idle>>& strands, std::size_t from, std::size_t count,
                 std::atomic<int>& ran) {
  for (std::size_t index = from; index < from + count; ++index) {
    const int before = ran.load();
    asio::post(strands[index]->strand(), [&ran] {
      ran.fetch_add(1);
      ran.notify_all();
    });
    ran.wait(before);
  }
}

// The strand's own step comes from the block pool, which gives it back to
// this thread; asio's per-thread cache would never see it again here and
// allocate afresh for each step. So for strands on the pool and for actors
// made on another actor's strand.
TEST(HandOffAllocations, StepsQueuedFromAThreadOfItsOwnAllocateNothingOnceWarm) {
  SKIP_WITHOUT_RECYCLING();
  constexpr std::size_t kWarmUp = 100;
  constexpr std::size_t kCount = 2000;
  const auto parent = Actor::make<Idle>();
  for (const bool nested : {false, true}) {
    SCOPED_TRACE(nested ? "on another actor's strand" : "on the pool");
    std::vector<std::shared_ptr<Idle>> actors;
    for (std::size_t index = 0; index < kWarmUp + kCount; ++index) {
      actors.push_back(nested ? Actor::make<Idle>(Executor(parent->strand())) : Actor::make<Idle>());
    }
    std::atomic<int> ran = 0;
    std::int64_t made = 0;
    std::thread([&] {
      postOneEach(actors, 0, kWarmUp, ran);
      const auto before = bench::allocationCount();
      postOneEach(actors, kWarmUp, kCount, ran);
      made = bench::allocationCount() - before;
    }).join();
    EXPECT_EQ(ran, static_cast<int>(kWarmUp + kCount));
    std::printf("allocations per step queued from a thread of its own %s: %.3f\n",
                nested ? "on a nested strand" : "on the pool", static_cast<double>(made) / kCount);
    EXPECT_LE(made, static_cast<std::int64_t>(kCount / 20));
  }
}

}  // namespace
