#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Sleep.hpp"
#include "Platform/Concurrency/TaskGroup.hpp"
#include "Platform/Concurrency/Tests/Support/Watched.hpp"

using namespace platform;
using namespace std::chrono_literals;

namespace {

// A child that sleeps long and records whether it started and how it ended.
struct Children {
  platform::testing::WatchedCount started;
  std::atomic<int> cancelled = 0;
  platform::testing::WatchedCount ended;

  void add(TaskGroup& group, std::chrono::milliseconds sleep = 10s) {
    group.spawn([this, sleep]() -> Async<void> {
      started.add();
      try {
        co_await sleepFor(sleep);
      } catch (...) {
        if (isCancellation(std::current_exception())) ++cancelled;
        ended.add();
        throw;
      }
      ended.add();
    });
  }
};

}  // namespace

TEST(TaskGroup, CancelAllCancelsEveryChildAndReturnsOnlyOnceAllHaveEnded) {
  for (int count : {1, 5}) {
    TaskGroup group;
    Children children;
    for (int i = 0; i < count; ++i) children.add(group);
    ASSERT_TRUE(children.started.reaches(count));
    EXPECT_EQ(group.count(), static_cast<std::size_t>(count));
    blockOn(group.cancelAll());
    EXPECT_EQ(children.ended.load(), count) << "cancelAll returned before a child ended";
    EXPECT_EQ(children.cancelled, count);
    EXPECT_EQ(group.count(), 0u);
    children.add(group, 1ms);  // usable again
    blockOn(group.wait());
    EXPECT_EQ(children.ended.load(), count + 1);
    EXPECT_EQ(children.cancelled, count);
  }
}

TEST(TaskGroup, WaitEndsWhenTheLastChildEndsAndNotBefore) {
  TaskGroup group;
  Children children;
  // Taken first: a child may start sleeping before add() returns.
  const auto start = std::chrono::steady_clock::now();
  children.add(group, 1ms);
  children.add(group, 150ms);
  blockOn(group.wait());
  EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
  EXPECT_EQ(children.ended.load(), 2);
  EXPECT_EQ(children.cancelled, 0);
}

TEST(TaskGroup, DestroyingTheGroupCancelsItsChildren) {
  auto children = std::make_shared<Children>();
  {
    TaskGroup group;
    for (int i = 0; i < 3; ++i) children->add(group);
    ASSERT_TRUE(children->started.reaches(3));
  }
  ASSERT_TRUE(children->ended.reaches(3));
  EXPECT_EQ(children->cancelled, 3);
}
