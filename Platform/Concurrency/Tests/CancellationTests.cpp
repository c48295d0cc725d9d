#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Channel.hpp"
#include "Platform/Concurrency/Continuation.hpp"
#include "Platform/Concurrency/PendingReplies.hpp"
#include "Platform/Concurrency/Sleep.hpp"
#include "Platform/Concurrency/Task.hpp"
#include "Platform/Concurrency/TaskGroup.hpp"
#include "Platform/Concurrency/Tests/Support/Watched.hpp"

using namespace platform;
using namespace std::chrono_literals;
using platform::testing::Signal;

namespace {

// One kind of wait: `wait` suspends until cancelled; `nothingLost`, run after
// the cancelled wait has ended, checks that no value went to it.
struct Wait {
  const char* name;
  std::function<Async<void>()> wait;
  std::function<bool()> nothingLost;
};

std::vector<Wait> everyWait() {
  std::vector<Wait> waits;
  for (std::optional<std::chrono::milliseconds> timeout : {std::optional<std::chrono::milliseconds>(), std::optional(10000ms)}) {
    struct Parked {
      std::mutex mutex;
      std::optional<Continuation<int>> continuation;
    };
    auto parked = std::make_shared<Parked>();
    waits.push_back({timeout ? "continuation with a time-out" : "continuation",
                     [parked, timeout]() -> Async<void> {
                       // A named awaitable: g++ 12 destroys a capturing lambda
                       // temporary inside a co_await expression twice.
                       auto parking = withContinuation<int>(
                           [parked](Continuation<int> c) {
                             std::lock_guard lock(parked->mutex);
                             parked->continuation = c;
                           },
                           timeout);
                       co_await std::move(parking);
                     },
                     [parked] {
                       std::lock_guard lock(parked->mutex);
                       return !parked->continuation->resume(1);
                     }});
  }
  {
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    waits.push_back({"stream", [stream]() -> Async<void> { co_await stream.next(); },
                     [stream, continuation] {
                       continuation.yield(5);
                       return blockOn(stream.next()) == 5;
                     }});
  }
  {
    Channel<int> channel(1);
    waits.push_back({"channel receive", [channel]() -> Async<void> { co_await channel.receive(); },
                     [channel] {
                       channel.trySend(5);
                       return blockOn(channel.receive()) == 5;
                     }});
  }
  {
    Channel<int> channel(1);
    channel.trySend(1);
    waits.push_back({"channel send", [channel]() -> Async<void> { co_await channel.send(2); },
                     [channel] { return channel.count() == 1 && blockOn(channel.receive()) == 1; }});
  }
  {
    auto replies = std::make_shared<PendingReplies<int, int>>();
    waits.push_back({"pending reply",
                     [replies]() -> Async<void> {
                       auto waiter = replies->add(1, 10s);
                       co_await std::move(waiter).value();
                     },
                     [replies] { return !replies->resolve(1, 5) && replies->count() == 0; }});
  }
  {
    auto group = std::make_shared<TaskGroup>();
    group->spawn([]() -> Async<void> { co_await sleepFor(10s); });
    waits.push_back({"task group wait", [group]() -> Async<void> { co_await group->wait(); },
                     [group] { return group->count() == 1; }});
  }
  waits.push_back({"sleep", []() -> Async<void> { co_await sleepFor(10s); }, [] { return true; }});
  return waits;
}

}  // namespace

TEST(Cancellation, EveryWaitEndsPromptlyWithTheCancellationAndConsumesNothing) {
  for (auto& wait : everyWait()) {
    SCOPED_TRACE(wait.name);
    Signal waiting;
    Signal ended;
    std::atomic<bool> sawCancellation = false;
    auto task = spawn(globalExecutor(), [&]() -> Async<void> {
      // The task holds its strand from here until the wait suspends, and the
      // cancel is posted to that strand: it finds the wait in place.
      waiting.raise();
      try {
        co_await wait.wait();
      } catch (...) {
        sawCancellation = isCancellation(std::current_exception());
      }
      ended.raise();
    });
    ASSERT_TRUE(waiting.wait());
    // A wait that ended by itself shows here or, if later, as a missing cancellation.
    EXPECT_FALSE(ended.raised()) << "the wait ended before it was cancelled";
    auto cancelledAt = std::chrono::steady_clock::now();
    task.cancel();
    ASSERT_TRUE(ended.wait(5s));
    EXPECT_LT(std::chrono::steady_clock::now() - cancelledAt, 5s);
    EXPECT_TRUE(sawCancellation);
    EXPECT_TRUE(wait.nothingLost());
  }
}
