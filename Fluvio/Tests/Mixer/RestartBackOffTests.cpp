#include <gtest/gtest.h>

#include <vector>

#include "Fluvio/Sources/Mixer/RestartBackOff.hpp"

namespace fluvio {
namespace {

using namespace std::chrono_literals;
using Clock = RestartBackOff::Clock;

enum class Op { restart, retryDue, forgetFailures };

struct Step {
  std::chrono::milliseconds at;
  Op op;
  // For a restart: 0 ms restarts now, a wait schedules one retry, nothing while one waits.
  std::optional<std::chrono::milliseconds> expected = std::nullopt;
};

void run(const std::vector<Step>& steps) {
  RestartBackOff backOff;
  const Clock::time_point origin{};
  for (const auto& step : steps) {
    SCOPED_TRACE(::testing::Message() << "at " << step.at.count() << " ms");
    switch (step.op) {
      case Op::restart: {
        const auto wait = backOff.restart(origin + step.at);
        EXPECT_EQ(wait.has_value(), step.expected.has_value());
        if (wait && step.expected) EXPECT_EQ(*wait, Clock::duration(*step.expected));
        break;
      }
      case Op::retryDue: backOff.retryDue(); break;
      case Op::forgetFailures: backOff.forgetFailures(); break;
    }
  }
}

// Failures soon after a restart wait the rest of a pause that doubles per
// failure (not per request) up to 8 s; a quiet spell of more than 8 s, or a
// fresh start, begins again at 250 ms.
TEST(RestartBackOff, PausesDoublePerFailureUpToTheLongestAndStartOver) {
  run({
      {0ms, Op::restart, 0ms},
      {10ms, Op::restart, 240ms},
      {20ms, Op::restart, std::nullopt},
      {249ms, Op::restart, std::nullopt},
      {250ms, Op::retryDue},
      {250ms, Op::restart, 0ms},
      {260ms, Op::restart, 490ms},
      {750ms, Op::retryDue},
      {750ms, Op::restart, 0ms},
      {750ms, Op::restart, 1000ms},
      {1750ms, Op::retryDue},
      {1750ms, Op::restart, 0ms},
      {1750ms, Op::restart, 2000ms},
      {3750ms, Op::retryDue},
      {3750ms, Op::restart, 0ms},
      {3750ms, Op::restart, 4000ms},
      {7750ms, Op::retryDue},
      {7750ms, Op::restart, 0ms},
      {7750ms, Op::restart, 8000ms},
      {15750ms, Op::retryDue},
      {15750ms, Op::restart, 0ms},
      {15750ms, Op::restart, 8000ms},
      {23750ms, Op::retryDue},
      {23750ms, Op::restart, 0ms},
      {31750ms, Op::restart, 0ms},  // 8 s after: not quiet long enough, the pause stays
      {31751ms, Op::restart, 7999ms},
      {39751ms, Op::retryDue},
      {39751ms, Op::restart, 0ms},
      {47752ms, Op::restart, 0ms},  // more than 8 s after: starts over
      {47753ms, Op::restart, 249ms},
      {48002ms, Op::retryDue},
      {48002ms, Op::restart, 0ms},
      {48003ms, Op::restart, 499ms},
      {48502ms, Op::retryDue},
      {48502ms, Op::forgetFailures},
      {48502ms, Op::restart, 0ms},
      {48503ms, Op::restart, 249ms},
  });
}

// A failure exactly one pause after the last restart restarts at once; one
// a millisecond sooner waits that millisecond.
TEST(RestartBackOff, APauseEndsExactlyOnTime) {
  run({{0ms, Op::restart, 0ms}, {250ms, Op::restart, 0ms}, {499ms, Op::restart, 1ms}});
}

}  // namespace
}  // namespace fluvio
