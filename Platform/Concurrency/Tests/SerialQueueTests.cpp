#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "Platform/Concurrency/SerialQueue.hpp"

using namespace platform;
using namespace std::chrono_literals;

TEST(SerialQueue, RunsWorkOneAtATimeInSubmissionOrder) {
  SerialQueue queue("com.fluvio.Fluvio.test");
  EXPECT_EQ(queue.label(), "com.fluvio.Fluvio.test");
  std::vector<int> order;  // unguarded on purpose: the queue is the guard
  std::atomic<int> inside = 0;
  std::atomic<bool> overlapped = false;
  std::promise<void> done;
  for (int i = 0; i < 1000; ++i) {
    queue.async([&, i] {
      if (inside.fetch_add(1) != 0) overlapped = true;
      order.push_back(i);
      inside.fetch_sub(1);
      if (i == 999) done.set_value();
    });
  }
  ASSERT_EQ(done.get_future().wait_for(5s), std::future_status::ready);
  EXPECT_FALSE(overlapped);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(order[i], i);
}

TEST(SerialQueue, AsyncAfterWaitsAtLeastTheDelay) {
  SerialQueue queue("delayed");
  auto start = std::chrono::steady_clock::now();
  std::promise<std::chrono::steady_clock::duration> ran;
  queue.asyncAfter(30ms, [&] { ran.set_value(std::chrono::steady_clock::now() - start); });
  auto future = ran.get_future();
  ASSERT_EQ(future.wait_for(5s), std::future_status::ready);
  EXPECT_GE(future.get(), 30ms);
}

TEST(MainQueue, IsOneSharedSerialQueue) {
  EXPECT_EQ(&MainQueue::shared(), &MainQueue::shared());
  std::promise<void> ran;
  MainQueue::shared().async([&] { ran.set_value(); });
  EXPECT_EQ(ran.get_future().wait_for(5s), std::future_status::ready);
}
