#include <gtest/gtest.h>

#include <asio/experimental/awaitable_operators.hpp>
#include <asio/strand.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_future.hpp>
#include <atomic>
#include <thread>
#include <vector>

#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Sleep.hpp"
#include "Platform/Concurrency/Tests/Support/HandOverToACancelledWait.hpp"

using namespace platform;

namespace {

template <class T>
Async<std::vector<T>> drain(AsyncStream<T> stream) {
  std::vector<T> seen;
  while (auto element = co_await stream.next()) seen.push_back(*element);
  co_return seen;
}

}  // namespace

TEST(AsyncStream, DeliversInOrderAndElementsBufferedBeforeFinish) {
  auto [stream, continuation] = AsyncStream<int>::makeStream();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(continuation.yield(i), AsyncStream<int>::YieldResult::enqueued);
  continuation.finish();
  EXPECT_EQ(continuation.yield(99), AsyncStream<int>::YieldResult::terminated);
  EXPECT_EQ(blockOn(drain(stream)), (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(AsyncStream, BufferingPolicies) {
  {
    auto [stream, continuation] = AsyncStream<int>::makeStream(BufferingPolicy::bufferingNewest(2));
    for (int i = 0; i < 5; ++i) continuation.yield(i);
    continuation.finish();
    EXPECT_EQ(blockOn(drain(stream)), (std::vector<int>{3, 4}));
  }
  {
    auto [stream, continuation] = AsyncStream<int>::makeStream(BufferingPolicy::bufferingOldest(2));
    EXPECT_EQ(continuation.yield(0), AsyncStream<int>::YieldResult::enqueued);
    EXPECT_EQ(continuation.yield(1), AsyncStream<int>::YieldResult::enqueued);
    EXPECT_EQ(continuation.yield(2), AsyncStream<int>::YieldResult::dropped);
    continuation.finish();
    EXPECT_EQ(blockOn(drain(stream)), (std::vector<int>{0, 1}));
  }
  {
    auto [stream, continuation] = AsyncStream<int>::makeStream(BufferingPolicy::bufferingNewest(0));
    EXPECT_EQ(continuation.yield(0), AsyncStream<int>::YieldResult::dropped);
    continuation.finish();
    EXPECT_TRUE(blockOn(drain(stream)).empty());
  }
}

TEST(AsyncStream, FinishesWhenTheLastContinuationGoesAway) {
  auto [stream, continuation] = AsyncStream<int>::makeStream();
  std::thread([c = std::move(continuation)] {
    c.yield(1);
    auto copy = c;
    copy.yield(2);
  }).join();
  EXPECT_EQ(blockOn(drain(stream)), (std::vector<int>{1, 2}));
}

TEST(AsyncStream, YieldAfterTheConsumerWentAwayIsTerminated) {
  auto [stream, continuation] = AsyncStream<int>::makeStream();
  { auto gone = std::move(stream); }
  EXPECT_EQ(continuation.yield(1), AsyncStream<int>::YieldResult::terminated);
}

TEST(AsyncStream, ConsumerResumesOnItsOwnExecutorNotOnTheProducer) {
  auto [stream, continuation] = AsyncStream<int>::makeStream();
  auto strand = asio::make_strand(globalExecutor());
  std::atomic<bool> waiting = false;
  std::thread::id producerThread;
  auto consumer = asio::co_spawn(
      strand,
      [&, s = stream]() -> Async<bool> {
        waiting = true;
        auto element = co_await s.next();
        auto executor = co_await asio::this_coro::executor;
        co_return element == 7 && executor == Executor(strand) && std::this_thread::get_id() != producerThread &&
            strand.running_in_this_thread();
      },
      asio::use_future);
  while (!waiting) std::this_thread::yield();
  std::thread producer([&, c = continuation] {
    producerThread = std::this_thread::get_id();
    c.yield(7);
  });
  producer.join();
  EXPECT_TRUE(consumer.get());
}

TEST(AsyncStream, ManyProducersLoseNothing) {
  constexpr int producers = 8;
  constexpr int perProducer = 5000;
  auto [stream, continuation] = AsyncStream<std::pair<int, int>>::makeStream();
  auto consumer = asio::co_spawn(
      globalExecutor(),
      [s = stream]() -> Async<std::vector<int>> {
        std::vector<int> lastSeen(producers, -1);
        std::vector<int> count(producers, 0);
        while (auto element = co_await s.next()) {
          auto [who, sequence] = *element;
          if (sequence != lastSeen[who] + 1) co_return std::vector<int>{};  // per-producer order broken
          lastSeen[who] = sequence;
          ++count[who];
        }
        co_return count;
      },
      asio::use_future);
  {
    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p) {
      threads.emplace_back([p, c = continuation] {
        for (int i = 0; i < perProducer; ++i) c.yield({p, i});
      });
    }
    for (auto& t : threads) t.join();
    continuation.finish();
  }
  EXPECT_EQ(consumer.get(), std::vector<int>(producers, perProducer));
}

TEST(AsyncStream, ANextThatLosesARaceTakesNothingWithIt) {
  auto [stream, continuation] = AsyncStream<int>::makeStream();
  auto strand = asio::make_strand(globalExecutor());
  auto first = blockOn(
      [s = stream]() -> Async<std::size_t> {
        using namespace asio::experimental::awaitable_operators;
        auto raced = co_await (s.next() || sleepFor(std::chrono::milliseconds(30)));
        co_return raced.index();
      },
      strand);
  EXPECT_EQ(first, 1u) << "the sleep wins while nothing is yielded";
  continuation.yield(1);
  continuation.yield(2);
  continuation.finish();
  EXPECT_EQ(blockOn(drain(stream)), (std::vector<int>{1, 2}));
}

// The element reaches a next() whose cancellation is already under way: the
// cancelled wait gives it back, first in line for the next call.
TEST(AsyncStream, AnElementHandedToACancelledNextStaysInTheStream) {
  auto [stream, continuation] = AsyncStream<int>::makeStream();
  const auto winner = platform::testing::handOverToACancelledWait([s = stream] { return s.next(); },
                                                        [c = continuation] { EXPECT_EQ(c.yield(1), AsyncStream<int>::YieldResult::enqueued); });
  EXPECT_EQ(winner, 1u) << "the rival wins the race";
  continuation.yield(2);
  continuation.finish();
  EXPECT_EQ(blockOn(drain(stream)), (std::vector<int>{1, 2}));
}
