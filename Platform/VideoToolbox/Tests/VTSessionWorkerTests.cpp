// The session worker's hand-offs: a full queue suspends the coroutines that
// feed it, never a thread of the pool.

#include "Platform/VideoToolbox/VTSessionWorker.hpp"

#include <gtest/gtest.h>

#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include <atomic>
#include <chrono>
#include <future>
#include <latch>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/RuntimeError.hpp"
#include "Platform/Concurrency/Task.hpp"

namespace platform {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A job that holds the worker until the test opens the gate, as an encoder
// stuck on one frame would.
struct Gate {
  std::latch started{1};
  std::promise<void> opened;
  std::shared_future<void> open = opened.get_future().share();

  VTSessionWorker::Job job() {
    return [this] {
      started.count_down();
      open.wait();
    };
  }
};

// The worst lateness of `ticks` timer waits of `period` each, on the pool.
Async<Clock::duration> timerLateness(int ticks, Clock::duration period) {
  asio::steady_timer timer(co_await asio::this_coro::executor);
  Clock::duration worst{};
  for (int tick = 0; tick < ticks; ++tick) {
    const auto due = Clock::now() + period;
    timer.expires_at(due);
    co_await timer.async_wait(asio::use_awaitable);
    worst = std::max(worst, Clock::now() - due);
  }
  co_return worst;
}

TEST(VTSessionWorker, AFullQueueSuspendsItsFeedersAndThePoolRunsOnTime) {
  constexpr std::size_t kCapacity = 2;
  VTSessionWorker worker("stalled", kCapacity);
  Gate gate;
  ASSERT_TRUE(worker.post(gate.job()));
  gate.started.wait();
  std::atomic<int> ran = 0;
  for (std::size_t index = 0; index < kCapacity; ++index) ASSERT_TRUE(worker.post([&ran] { ++ran; }));

  // Posted from the pool onto the full queue, a job goes in past the bound
  // at once: the caller that keeps the bound is the one that awaits room().
  std::promise<bool> posted;
  auto postReturned = posted.get_future();
  spawn(globalExecutor(), [&]() -> Async<void> {
    posted.set_value(worker.post([&ran] { ++ran; }));
    co_return;
  });
  EXPECT_EQ(postReturned.wait_for(10s), std::future_status::ready) << "a pool thread waited for room";

  // More feeders than the pool has threads: were any of them to hold its
  // thread while it waits, the timer below could not run.
  const int feeders = static_cast<int>(std::thread::hardware_concurrency()) + 2;
  std::atomic<int> resumed = 0;
  std::latch fed(feeders);
  for (int feeder = 0; feeder < feeders; ++feeder) {
    spawn(globalExecutor(), [&]() -> Async<void> {
      auto room = worker.room();
      co_await std::move(room);
      ++resumed;
      worker.post([&ran] { ++ran; });
      fed.count_down();
    });
  }

  auto lateness = std::async(std::launch::async, [] { return blockOn(timerLateness(20, 10ms)); });
  const bool timerRan = lateness.wait_for(30s) == std::future_status::ready;
  // Whatever happened, the worker goes on, so a failure does not hang the test.
  EXPECT_EQ(resumed, 0) << "a feeder resumed while the worker was still stuck";
  gate.opened.set_value();
  EXPECT_TRUE(postReturned.get());
  ASSERT_TRUE(timerRan) << "the pool stalled with the worker";
  EXPECT_LT(lateness.get(), 1s);

  fed.wait();
  blockOn(worker.idle());
  EXPECT_EQ(ran, static_cast<int>(kCapacity) + 1 + feeders);
}

TEST(VTSessionWorker, IdleResumesOnceEveryJobPostedBeforeHasRun) {
  VTSessionWorker worker("idle", 4);
  Gate gate;
  std::atomic<bool> secondRan = false;
  worker.post(gate.job());
  worker.post([&] { secondRan = true; });
  std::promise<bool> idle;
  auto idled = idle.get_future();
  spawn(globalExecutor(), [&]() -> Async<void> {
    auto waiting = worker.idle();
    co_await std::move(waiting);
    idle.set_value(secondRan.load());
  });
  EXPECT_EQ(idled.wait_for(50ms), std::future_status::timeout) << "idle while a job was running";
  gate.opened.set_value();
  ASSERT_EQ(idled.wait_for(10s), std::future_status::ready);
  EXPECT_TRUE(idled.get());

  // With nothing to do it resumes at once.
  blockOn(worker.idle());
}

TEST(VTSessionWorker, BlockingWaitsAreForThreadsOfTheirOwn) {
  VTSessionWorker worker("blocking", 2);
  const auto refused = [](const RuntimeError& error) { return error.which() == RuntimeError::Case::blockingOnPoolThread; };
  for (const bool postAndWait : {false, true}) {
    try {
      blockOn([&]() -> Async<void> {
        if (postAndWait) {
          worker.postAndWait([] {});
        } else {
          worker.waitUntilIdle();
        }
        co_return;
      });
      ADD_FAILURE() << "a pool thread waited, postAndWait " << postAndWait;
    } catch (const RuntimeError& error) {
      EXPECT_TRUE(refused(error)) << error.what();
    }
  }
  // Off the pool they wait, and run what they were given.
  int value = 0;
  EXPECT_TRUE(worker.postAndWait([&] { value = 1; }));
  worker.waitUntilIdle();
  EXPECT_EQ(value, 1);
}

TEST(VTSessionWorker, StopAfterRunsTheQueueThenTheLastJobEvenWhenTheWorkerGoesAway) {
  auto worker = std::make_unique<VTSessionWorker>("ending", 4);
  Gate gate;
  std::mutex mutex;
  std::vector<int> order;
  const auto record = [&](int value) {
    std::lock_guard lock(mutex);
    order.push_back(value);
  };
  worker->post(gate.job());
  worker->post([&] { record(1); });
  std::promise<void> lastRan;
  worker->stopAfter([&] {
    record(2);
    lastRan.set_value();
  });
  EXPECT_TRUE(worker->isStopped());
  EXPECT_FALSE(worker->post([&] { record(3); })) << "a job taken after the end";
  // Neither the end nor the destruction waits for the stuck job.
  worker.reset();
  gate.opened.set_value();
  ASSERT_EQ(lastRan.get_future().wait_for(10s), std::future_status::ready);
  std::lock_guard lock(mutex);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(VTSessionWorker, StopDropsWhatWaitsAndResumesEveryWaitingFeeder) {
  VTSessionWorker worker("stopping", 1);
  Gate gate;
  std::atomic<bool> dropped = true;
  worker.post(gate.job());
  worker.post([&] { dropped = false; });
  std::promise<void> roomResumed;
  std::promise<void> idleResumed;
  spawn(globalExecutor(), [&]() -> Async<void> {
    auto room = worker.room();
    co_await std::move(room);
    roomResumed.set_value();
  });
  spawn(globalExecutor(), [&]() -> Async<void> {
    auto idle = worker.idle();
    co_await std::move(idle);
    idleResumed.set_value();
  });
  // stop joins the running job: the gate opens from elsewhere once it is called.
  auto opening = std::async(std::launch::async, [&] {
    while (!worker.isStopped()) std::this_thread::yield();
    gate.opened.set_value();
  });
  worker.stop();
  EXPECT_EQ(roomResumed.get_future().wait_for(10s), std::future_status::ready);
  EXPECT_EQ(idleResumed.get_future().wait_for(10s), std::future_status::ready);
  EXPECT_TRUE(dropped);
  EXPECT_FALSE(worker.post([] {}));
}

// A job holds what it captured until it has run or has been dropped, and no
// longer: a frame's picture goes back to its pool then, not at the next frame.
TEST(VTSessionWorker, AJobReleasesWhatItHoldsOnceRunOrDropped) {
  VTSessionWorker worker("holding", 4);
  Gate first;
  worker.post(first.job());
  first.started.wait();
  auto ranToken = std::make_shared<int>(1);
  const std::weak_ptr<int> ranWatch = ranToken;
  std::atomic<int> ran = 0;
  // Move-only captures are taken as they are.
  worker.post([token = std::make_unique<std::shared_ptr<int>>(std::move(ranToken)), &ran] { ran = **token; });
  EXPECT_FALSE(ranWatch.expired()) << "released while queued";
  first.opened.set_value();
  worker.waitUntilIdle();
  EXPECT_EQ(ran, 1);
  EXPECT_TRUE(ranWatch.expired()) << "still held once run";

  Gate second;
  worker.post(second.job());
  second.started.wait();
  auto droppedToken = std::make_shared<int>(2);
  const std::weak_ptr<int> droppedWatch = droppedToken;
  std::atomic<int> droppedRan = 0;
  worker.post([token = std::move(droppedToken), &droppedRan] { droppedRan = *token; });
  EXPECT_FALSE(droppedWatch.expired()) << "released while queued";
  // stop joins the running job: the gate opens from elsewhere once it is called.
  auto opening = std::async(std::launch::async, [&] {
    while (!worker.isStopped()) std::this_thread::yield();
    second.opened.set_value();
  });
  worker.stop();
  EXPECT_EQ(droppedRan, 0);
  EXPECT_TRUE(droppedWatch.expired()) << "still held once dropped";
}

}  // namespace
}  // namespace platform
