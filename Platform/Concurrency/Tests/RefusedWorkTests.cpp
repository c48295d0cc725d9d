#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <latch>
#include <stdexcept>
#include <string>
#include <thread>

#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Continuation.hpp"
#include "Platform/Concurrency/RuntimeError.hpp"
#include "Platform/Concurrency/SerialQueue.hpp"
#include "Platform/Concurrency/Sleep.hpp"
#include "Platform/Concurrency/Task.hpp"

using namespace platform;
using namespace std::chrono_literals;

namespace {

template <class Work>
std::optional<RuntimeError::Case> refusal(Work work) {
  try {
    work();
  } catch (const RuntimeError& e) {
    return e.which();
  }
  return std::nullopt;
}

}  // namespace

TEST(BlockOn, ThrowsOnAPoolThreadInsteadOfWaitingOnThePool) {
  std::promise<std::optional<RuntimeError::Case>> fromTask;
  spawn(globalExecutor(), [&]() -> Async<void> {
    fromTask.set_value(refusal([] { blockOn(sleepFor(1ms)); }));
    co_return;
  });
  EXPECT_EQ(fromTask.get_future().get(), RuntimeError::Case::blockingOnPoolThread);
  std::promise<std::optional<RuntimeError::Case>> fromQueue;
  SerialQueue("blocking").async([&] { fromQueue.set_value(refusal([] { blockOn(sleepFor(1ms)); })); });
  EXPECT_EQ(fromQueue.get_future().get(), RuntimeError::Case::blockingOnPoolThread);
  EXPECT_EQ(refusal([] { blockOn(sleepFor(1ms)); }), std::nullopt) << "a thread outside the pool may block";
}

TEST(Continuation, ResumingWithANullErrorIsRefusedAndTheWaitStaysOpen) {
  auto value = blockOn(withContinuation<int>([](Continuation<int> c) {
    EXPECT_THROW(c.resume(std::exception_ptr()), std::invalid_argument);
    EXPECT_TRUE(c.resume(3));
  }));
  EXPECT_EQ(value, 3);
}

TEST(SerialQueue, AnExceptionFromWorkGoesToTheHandlerAndTheQueueGoesOn) {
  std::promise<std::string> reported;
  auto previous = setUnhandledErrorHandler([&](const std::string& name, std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      reported.set_value(name + ": " + e.what());
    }
  });
  SerialQueue queue("parser");
  std::promise<void> ranAfter;
  queue.async([] { throw std::runtime_error("bad packet"); });
  queue.async([&] { ranAfter.set_value(); });
  EXPECT_EQ(reported.get_future().get(), "parser: bad packet");
  EXPECT_EQ(ranAfter.get_future().wait_for(5s), std::future_status::ready);
  setUnhandledErrorHandler(previous);
}

// Shutting the pool down is for good, so it runs in a child process.
TEST(ShutdownGlobalExecutorDeathTest, LaterWorkIsRefusedAtOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        SerialQueue queue("before shutdown");
        shutdownGlobalExecutor();
        auto shutDown = RuntimeError::Case::shutDown;
        bool refused = refusal([] { blockOn(sleepFor(0ms)); }) == shutDown &&
                       refusal([] { spawn(globalExecutor(), sleepFor(0ms)); }) == shutDown &&
                       refusal([&] { queue.async([] {}); }) == shutDown &&
                       refusal([] { MainQueue::shared().async([] {}); }) == shutDown;
        std::_Exit(refused ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(ShutdownGlobalExecutorDeathTest, WorkThePoolQueuesWhileItStopsIsDroppedWithoutAnError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        SerialQueue queue("stopping");
        std::latch running(1);
        std::atomic<bool> queued = false;
        queue.async([&] {
          running.count_down();
          // The shutdown has begun once the pool refuses a thread outside it;
          // it then waits for this item, which queues more while it stops.
          std::thread([] {
            while (refusal([] { globalExecutor(); }) != RuntimeError::Case::shutDown) std::this_thread::yield();
          }).join();
          queue.async([] {});
          spawn(globalExecutor(), sleepFor(0ms));
          queued = true;
        });
        running.wait();
        shutdownGlobalExecutor();
        std::_Exit(queued ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
