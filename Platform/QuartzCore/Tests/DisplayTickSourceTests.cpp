#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "Platform/Concurrency/Executor.hpp"
#include "Platform/QuartzCore/ManualDisplayTickSource.hpp"
#include "Platform/QuartzCore/SteadyDisplayTickSource.hpp"

namespace platform {
namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

TEST(ManualDisplayTickSourceTest, DeliversTicksOfAllSubscribersInTimeOrder) {
  ManualDisplayTickSource source(1'000);
  std::vector<std::pair<char, std::uint64_t>> ticks;
  const auto fast = source.subscribe(nanoseconds(10), [&](std::uint64_t t) { ticks.emplace_back('f', t); });
  const auto slow = source.subscribe(nanoseconds(25), [&](std::uint64_t t) { ticks.emplace_back('s', t); });

  source.advance(nanoseconds(50));
  const std::vector<std::pair<char, std::uint64_t>> expected{{'f', 1010}, {'f', 1020}, {'s', 1025}, {'f', 1030},
                                                             {'f', 1040}, {'f', 1050}, {'s', 1050}};
  EXPECT_EQ(ticks, expected);
  EXPECT_EQ(source.now(), 1050u);
}

TEST(ManualDisplayTickSourceTest, TickJumpsToTheNextFrameAndAdvanceKeepsTheRest) {
  ManualDisplayTickSource source;
  source.tick();  // nobody subscribed
  EXPECT_EQ(source.now(), 0u);

  std::vector<std::uint64_t> ticks;
  const auto subscription = source.subscribe(nanoseconds(30), [&](std::uint64_t t) { ticks.push_back(t); });
  source.advance(nanoseconds(20));
  EXPECT_TRUE(ticks.empty());
  EXPECT_EQ(source.now(), 20u);
  source.tick();
  EXPECT_EQ(ticks, std::vector<std::uint64_t>{30});

  subscription->setPeriod(nanoseconds(5));
  source.advance(nanoseconds(10));
  EXPECT_EQ(ticks, (std::vector<std::uint64_t>{30, 35, 40}));

  subscription->cancel();
  source.advance(nanoseconds(100));
  EXPECT_EQ(ticks.size(), 3u);
}

TEST(ManualDisplayTickSourceTest, TickMaySubscribeAndCancelWhileBeingDelivered) {
  ManualDisplayTickSource source;
  std::unique_ptr<DisplayTickSource::Subscription> second;
  int secondTicks = 0;
  std::unique_ptr<DisplayTickSource::Subscription> first;
  first = source.subscribe(nanoseconds(10), [&](std::uint64_t) {
    second = source.subscribe(nanoseconds(10), [&](std::uint64_t) { ++secondTicks; });
    first->cancel();
  });
  source.advance(nanoseconds(35));
  EXPECT_EQ(secondTicks, 2);
  EXPECT_EQ(source.subscriberCount(), 1u);
}

// Collects the host times of a steady subscription.
struct TickLog {
  void add(std::uint64_t hostTime) {
    std::lock_guard lock(mutex);
    times.push_back(hostTime);
    changed.notify_all();
  }
  bool waitFor(std::size_t count) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), [&] { return times.size() >= count; });
  }
  std::vector<std::uint64_t> snapshot() {
    std::lock_guard lock(mutex);
    return times;
  }

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::uint64_t> times;
};

TEST(SteadyDisplayTickSourceTest, TicksOnAGridOfThePeriodAndFollowARetiming) {
  SteadyDisplayTickSource source(globalExecutor());
  TickLog log;
  const auto subscription = source.subscribe(milliseconds(2), [&](std::uint64_t t) { log.add(t); });
  ASSERT_TRUE(log.waitFor(5));
  subscription->setPeriod(milliseconds(3));
  const std::size_t before = log.snapshot().size();
  ASSERT_TRUE(log.waitFor(before + 3));
  subscription->cancel();

  const auto times = log.snapshot();
  for (std::size_t i = 1; i < times.size(); ++i) {
    const std::uint64_t gap = times[i] - times[i - 1];
    // A busy machine skips whole frames, never parts of one.
    EXPECT_TRUE(gap % 2'000'000 == 0 || gap % 3'000'000 == 0) << "gap " << gap << " at " << i;
    EXPECT_GT(gap, 0u);
  }
  EXPECT_EQ((times.back() - times[times.size() - 2]) % 3'000'000, 0u);
}

TEST(SteadyDisplayTickSourceTest, CancelledSubscriptionStaysQuiet) {
  SteadyDisplayTickSource source(globalExecutor());
  TickLog log;
  auto subscription = source.subscribe(milliseconds(1), [&](std::uint64_t t) { log.add(t); });
  ASSERT_TRUE(log.waitFor(2));
  subscription.reset();
  // A tick already on its way may land; after that, nothing.
  const std::size_t settled = log.snapshot().size() + 1;
  TickLog other;
  const auto witness = source.subscribe(milliseconds(1), [&](std::uint64_t t) { other.add(t); });
  ASSERT_TRUE(other.waitFor(20));
  EXPECT_LE(log.snapshot().size(), settled);
}

}  // namespace
}  // namespace platform
