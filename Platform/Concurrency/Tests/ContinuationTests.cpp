#include <gtest/gtest.h>

#include <asio/experimental/awaitable_operators.hpp>
#include <asio/strand.hpp>
#include <atomic>
#include <cstdio>
#include <optional>
#include <future>
#include <chrono>
#include <thread>

#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Continuation.hpp"
#include "Platform/Concurrency/Sleep.hpp"
#include "Platform/Concurrency/Task.hpp"
#include "Platform/Concurrency/Tests/Support/Watched.hpp"

using namespace platform;
using namespace std::chrono_literals;

TEST(Continuation, ResumedOnceFromAnotherThread) {
  std::promise<bool> secondAccepted;
  std::thread resumer;
  auto value = blockOn([&]() -> Async<int> {
    co_return co_await withContinuation<int>([&](Continuation<int> c) {
      resumer = std::thread([c, &secondAccepted] {
        c.resume(7);
        secondAccepted.set_value(c.resume(8));
      });
    });
  });
  resumer.join();
  EXPECT_EQ(value, 7);
  EXPECT_FALSE(secondAccepted.get_future().get());
}

TEST(Continuation, ResumedBeforeAwaitingStillDelivers) {
  auto value = blockOn(withContinuation<std::string>([](Continuation<std::string> c) { c.resume("now"); }));
  EXPECT_EQ(value, "now");
}

TEST(Continuation, ErrorIsThrownAtTheAwait) {
  auto failing = withContinuation<void>([](Continuation<void> c) { c.resumeThrowing(std::runtime_error("refused")); });
  EXPECT_THROW(blockOn(std::move(failing)), std::runtime_error);
}

TEST(Continuation, TimesOutWithoutReply) {
  std::optional<Continuation<int>> kept;
  auto start = std::chrono::steady_clock::now();
  try {
    blockOn(withContinuation<int>([&](Continuation<int> c) { kept = c; }, 30ms));
    FAIL() << "expected a time-out";
  } catch (const ContinuationError& e) {
    EXPECT_EQ(e.which(), ContinuationError::Case::timedOut);
  }
  EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
  EXPECT_FALSE(kept->resume(1)) << "a reply after the time-out is a no-op";
}

TEST(Continuation, ReplyBeforeTimeOutWinsAndTimerNeverFires) {
  constexpr auto timeout = 300ms;
  std::promise<Continuation<int>> handedOver;
  std::thread replier([future = handedOver.get_future()]() mutable { future.get().resume(42); });
  std::optional<Continuation<int>> kept;
  auto value = blockOn([&]() -> Async<int> {
    co_return co_await withContinuation<int>(
        [&](Continuation<int> c) {
          kept = c;
          handedOver.set_value(c);
        },
        timeout);
  });
  replier.join();
  EXPECT_EQ(value, 42);
  // A real window: the time-out runs on the steady clock, which a test cannot
  // advance, and a timer that fired after the reply would show only past it.
  std::this_thread::sleep_for(timeout + 50ms);
  EXPECT_FALSE(kept->resume(1));
}

TEST(Continuation, DroppingEveryCopyUnresumedReportsAbandoned) {
  try {
    blockOn(withContinuation<int>([](Continuation<int>) {}));
    FAIL() << "expected abandonment";
  } catch (const ContinuationError& e) {
    EXPECT_EQ(e.which(), ContinuationError::Case::abandoned);
  }
}

TEST(Task, CancelEndsASleepQuietly) {
  std::atomic<bool> reachedEnd = false;
  platform::testing::Signal started;
  platform::testing::Watched<std::optional<bool>> cancelledSeen;
  auto task = spawn(globalExecutor(), [&]() -> Async<void> {
    try {
      // The task holds its strand from here to the sleep's suspension, and
      // the cancel is posted to that strand: it reaches the sleep itself.
      started.raise();
      co_await sleepFor(10s);
      reachedEnd = true;
    } catch (...) {
      cancelledSeen.set(isCancellation(std::current_exception()));
      throw;
    }
  });
  ASSERT_TRUE(started.wait());
  task.cancel();
  ASSERT_TRUE(cancelledSeen.waitUntil([](const std::optional<bool>& seen) { return seen.has_value(); }, 5s));
  EXPECT_TRUE(*cancelledSeen.load());
  EXPECT_FALSE(reachedEnd);
  EXPECT_TRUE(task.isCancelled());
}

TEST(Task, ErrorsReachTheUnhandledErrorHandler) {
  std::promise<std::string> reported;
  auto previous = setUnhandledErrorHandler([&](const std::string& name, std::exception_ptr) { reported.set_value(name); });
  spawn(globalExecutor(), []() -> Async<void> {
    throw std::runtime_error("boom");
    co_return;
  }, "failing-task");
  auto future = reported.get_future();
  ASSERT_EQ(future.wait_for(2s), std::future_status::ready);
  EXPECT_EQ(future.get(), "failing-task");
  setUnhandledErrorHandler(previous);
}

TEST(Continuation, AWaitThatLosesARaceRefusesTheLaterReply) {
  std::optional<Continuation<int>> kept;
  auto branch = blockOn(
      [&]() -> Async<std::size_t> {
        using namespace asio::experimental::awaitable_operators;
        auto raced = co_await (withContinuation<int>([&](Continuation<int> c) { kept = c; }) ||
                               sleepFor(std::chrono::milliseconds(30)));
        co_return raced.index();
      },
      asio::make_strand(globalExecutor()));
  EXPECT_EQ(branch, 1u);
  EXPECT_FALSE(kept->resume(5)) << "the reply went to a wait that had already lost";
}

// A reply racing the cancel of a wait that loses an asio `||` reaches the wait
// or comes back to its producer: never neither, never both.
TEST(Continuation, AValueRacingALosingWaitReachesExactlyOneSide) {
  constexpr int kRounds = 1000;
  int returnedRounds = 0;
  for (int round = 0; round < kRounds; ++round) {
    std::optional<Continuation<int>> kept;
    std::atomic<bool> parked = false;
    std::atomic<bool> accepted = false;
    std::atomic<int> returned = -1;
    std::thread producer([&] {
      while (!parked) std::this_thread::yield();
      accepted = kept->resume(round, [&](int value) { returned = value; });
    });
    const auto delivered = blockOn(
        [&]() -> Async<std::optional<int>> {
          using namespace asio::experimental::awaitable_operators;
          auto raced = co_await (withContinuation<int>([&](Continuation<int> c) {
                                   kept = c;
                                   parked = true;
                                 }) ||
                                 sleepFor(0ms));
          if (raced.index() == 0) co_return std::get<0>(raced);
          co_return std::nullopt;
        },
        asio::make_strand(globalExecutor()));
    producer.join();
    const int reached = (delivered == round ? 1 : 0) + (returned == round ? 1 : 0);
    ASSERT_EQ(reached, accepted ? 1 : 0) << "round " << round << ", accepted " << accepted;
    if (returned == round) ++returnedRounds;
  }
  std::printf("values given back after a lost race: %d of %d\n", returnedRounds, kRounds);
}
