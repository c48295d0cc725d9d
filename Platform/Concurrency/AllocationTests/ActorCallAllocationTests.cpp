// Counts heap blocks made while a coroutine calls into an actor and resumes,
// which is the step every message on a media path takes. Its own program:
// the counter replaces the global operator new.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "Platform/Concurrency/Actor.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/AllocationTests/SkipWithoutRecycling.hpp"
#include "bench/AllocationCounter.hpp"

namespace {

using namespace platform;

class Counter : public Actor {
 public:
  using Actor::Actor;
  Async<int> add(int step) {
    return isolated([this, step] { return addBody(step); });
  }

 private:
  Async<int> addBody(int step) {
    total_ += step;
    co_return total_;
  }

  int total_ = 0;
};

// Blocks per call, averaged over `calls` calls made from a task on the pool.
double allocationsPerCall(int calls) {
  auto counter = Actor::make<Counter>();
  return blockOn([counter, calls]() -> Async<double> {
    co_await counter->add(0);  // the first call warms the threads' block caches
    const auto before = bench::allocationCount();
    int total = 0;
    for (int call = 1; call <= calls; ++call) total = co_await counter->add(1);
    const auto made = bench::allocationCount() - before;
    EXPECT_EQ(total, calls);
    co_return static_cast<double>(made) / calls;
  });
}

class Exposed : public Actor {
 public:
  using Actor::Actor;
};

// What every co_spawn, await, post and timer does with an actor's executor.
TEST(ActorCallAllocations, AnActorsStrandIsCopiedAndAdjustedInPlace) {
  auto actor = Actor::make<Exposed>();
  const Executor erased = actor->strand();
  const auto before = bench::allocationCount();
  for (int round = 0; round < 100; ++round) {
    Executor copy = erased;
    Executor never = asio::require(copy, asio::execution::blocking.never);
    Executor continuation = asio::prefer(never, asio::execution::relationship.continuation);
    Executor tracked = asio::prefer(continuation, asio::execution::outstanding_work.tracked);
    EXPECT_TRUE(tracked != erased);
  }
  EXPECT_EQ(bench::allocationCount() - before, 0);
}

// The frames, the call's bridge and the queued steps come from the threads'
// block caches once those hold a few: what is left is a cold pool thread
// picking up its first calls. Before the caches held them it was seven.
TEST(ActorCallAllocations, ARoundTripAllocatesNothingOnceWarm) {
  SKIP_WITHOUT_RECYCLING();
  constexpr int kCalls = 2000;
  const double perCall = allocationsPerCall(kCalls);
  RecordProperty("allocations_per_call", std::to_string(perCall));
  std::printf("allocations per actor call round trip: %.3f\n", perCall);
  EXPECT_LE(perCall * kCalls, 100);
}

}  // namespace
