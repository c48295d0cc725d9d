#include "Platform/ReplayKit/Service/FrameClock.hpp"

#include <gtest/gtest.h>

#include <atomic>

#include "Platform/CoreMedia/HostClock.hpp"

namespace platform::broadcastservice {
namespace {

constexpr int ticksPerSecond = 30;
constexpr std::uint64_t second = HostClock::ticksPerSecond;

std::uint64_t ticksDueBefore(const FrameClock& clock, std::uint64_t limit) {
  std::uint64_t count = 0;
  while (clock.tickTime(count) < limit) ++count;
  return count;
}

// Stopped at once, while the clock is far behind: every tick already due is
// worked or counted as dropped, and none that is not yet due is counted.
TEST(FrameClockTest, StoppedBehindScheduleItAccountsForEveryTickDueAndNoMore) {
  const std::uint64_t now = HostClock::now();
  for (const std::uint64_t end : {now - second / 2, now + 10 * second}) {
    std::atomic<std::uint64_t> worked = 0;
    FrameClock clock(ticksPerSecond, now - second, end, [&](std::uint64_t, std::uint64_t) {
      ++worked;
      return true;
    });
    const std::uint64_t stoppedAfter = HostClock::now();
    clock.stop();
    const std::uint64_t stoppedBefore = HostClock::now();
    const std::uint64_t accounted = worked + clock.droppedTicks();
    EXPECT_GE(accounted, ticksDueBefore(clock, std::min(end, stoppedAfter)));
    EXPECT_LE(accounted, ticksDueBefore(clock, std::min(end, stoppedBefore)));
  }
}

TEST(FrameClockTest, WorkThatFailsCountsAsDropped) {
  const std::uint64_t now = HostClock::now();
  std::atomic<std::uint64_t> attempts = 0;
  // Due now, so the first tick is handed to the work, which refuses it.
  FrameClock clock(ticksPerSecond, now, now + second / ticksPerSecond, [&](std::uint64_t, std::uint64_t) {
    ++attempts;
    return false;
  });
  clock.stop();
  EXPECT_EQ(clock.droppedTicks(), 1u) << attempts << " attempts";
}

}  // namespace
}  // namespace platform::broadcastservice
