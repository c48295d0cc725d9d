#include <gtest/gtest.h>

#include <asio/strand.hpp>
#include <atomic>
#include <functional>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/PendingReplies.hpp"
#include "Platform/Concurrency/Sleep.hpp"
#include "Platform/Concurrency/Task.hpp"
#include "Platform/Concurrency/Tests/Support/Eventually.hpp"
#include "Platform/Concurrency/Tests/Support/Watched.hpp"

using namespace platform;
using namespace std::chrono_literals;
using platform::testing::eventually;

namespace {

using Replies = PendingReplies<int, std::string>;

// What a wait ended with, as text: the value, or the error's name.
std::string outcome(Replies::Waiter waiter) {
  try {
    return blockOn(std::move(waiter).value());
  } catch (const ContinuationError& e) {
    return e.what();
  } catch (const std::exception& e) {
    return isCancellation(std::current_exception()) ? "cancelled" : e.what();
  }
}

}  // namespace

TEST(PendingReplies, EachWayAWaitEndsRemovesItsEntryAndRefusesLateReplies) {
  struct Case {
    const char* name;
    std::function<void(Replies&, int key)> end;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"resolved", [](Replies& r, int key) { EXPECT_TRUE(r.resolve(key, "reply " + std::to_string(key))); }, "reply"},
      {"failed", [](Replies& r, int key) { EXPECT_TRUE(r.fail(key, std::make_exception_ptr(std::runtime_error("refused")))); },
       "refused"},
      {"all failed", [](Replies& r, int) { r.failAll(std::make_exception_ptr(std::runtime_error("closed"))); }, "closed"},
      {"timed out", [](Replies&, int) {}, "timedOut"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Replies replies;
    for (int key : {3, 8}) {  // two keys, so the value is the one of its own key
      auto start = std::chrono::steady_clock::now();
      auto waiter = replies.add(key, c.expected == "timedOut" ? 30ms : 10s);
      EXPECT_TRUE(replies.contains(key));
      c.end(replies, key);
      auto expected = c.expected == "reply" ? "reply " + std::to_string(key) : c.expected;
      EXPECT_EQ(outcome(std::move(waiter)), expected);
      if (c.expected == "timedOut") EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
      EXPECT_FALSE(replies.contains(key));
      EXPECT_FALSE(replies.resolve(key, "late"));
    }
    EXPECT_EQ(replies.count(), 0u);
  }
}

TEST(PendingReplies, AReplyBeforeTheAwaitIsKeptAndADuplicateKeyIsRefused) {
  Replies replies;
  auto waiter = replies.add(1, 10s);
  EXPECT_THROW(replies.add(1, 10s), std::invalid_argument);
  auto other = replies.add(2, 10s);
  EXPECT_TRUE(replies.resolve(1, "early"));
  EXPECT_EQ(outcome(std::move(waiter)), "early");
  { auto dropped = std::move(other); }
  EXPECT_EQ(replies.count(), 0u) << "a waiter dropped unawaited leaves no entry";
}

TEST(PendingReplies, AnEarlierWaiterNeverEndsOrErasesANewerOneUnderItsKey) {
  Replies replies;
  // The earlier waiter's time-out would fire during the newer one's wait.
  auto earlier = replies.add(5, 40ms);
  EXPECT_TRUE(replies.resolve(5, "first"));
  auto newer = replies.add(5, 10s);
  EXPECT_EQ(outcome(std::move(earlier)), "first");  // its clean-up runs here
  EXPECT_TRUE(replies.contains(5));
  // A real window: the time-out runs on the steady clock, so only waiting
  // past it shows that it can no longer touch the newer waiter.
  std::this_thread::sleep_for(80ms);
  EXPECT_TRUE(replies.resolve(5, "second"));
  EXPECT_EQ(outcome(std::move(newer)), "second");
}

TEST(PendingReplies, ACancelledWaitEndsAtOnceAndErasesItsEntry) {
  Replies replies;
  platform::testing::Signal added;
  platform::testing::Watched<std::optional<bool>> cancelled;
  auto task = spawn(globalExecutor(), [&]() -> Async<void> {
    auto waiter = replies.add(9, 10s);
    // The task holds its strand until the wait suspends; the cancel, posted
    // to that strand, comes after.
    added.raise();
    try {
      co_await std::move(waiter).value();
      cancelled.set(false);
    } catch (...) {
      cancelled.set(isCancellation(std::current_exception()));
    }
  });
  ASSERT_TRUE(added.wait());
  EXPECT_TRUE(replies.contains(9));
  EXPECT_FALSE(cancelled.load().has_value());
  task.cancel();
  ASSERT_TRUE(cancelled.waitUntil([](const std::optional<bool>& seen) { return seen.has_value(); }, 2s));
  EXPECT_TRUE(*cancelled.load());
  EXPECT_TRUE(eventually([&] { return replies.count() == 0; }));
  EXPECT_FALSE(replies.resolve(9, "late"));
}

TEST(PendingReplies, ManyRequestersRaceRepliesTimeOutsAndCancelsWithoutLosingTrack) {
  Replies replies;
  constexpr int requesters = 8;
  constexpr int perRequester = 200;
  platform::testing::WatchedCount finished;
  std::atomic<int> wrongValue = 0;
  std::vector<Task> tasks;
  for (int r = 0; r < requesters; ++r) {
    tasks.push_back(spawn(globalExecutor(), [&, r]() -> Async<void> {
      try {
        for (int i = 0; i < perRequester; ++i) {
          int key = r * perRequester + i;
          auto waiter = replies.add(key, std::chrono::milliseconds(1 + key % 5));
          try {
            auto value = co_await std::move(waiter).value();
            if (value != std::to_string(key)) ++wrongValue;
          } catch (const ContinuationError&) {
          }
        }
      } catch (...) {
        if (!isCancellation(std::current_exception())) ++wrongValue;
      }
      finished.add();
    }));
  }
  std::thread replier([&] {
    std::mt19937 random(7);
    for (int n = 0; n < requesters * perRequester * 2; ++n) {
      int key = static_cast<int>(random() % (requesters * perRequester));
      replies.resolve(key, std::to_string(key));
      if (n % 997 == 0) tasks[key % requesters].cancel();
    }
  });
  replier.join();
  for (auto& task : tasks) task.cancel();
  ASSERT_TRUE(finished.reaches(requesters));
  EXPECT_EQ(replies.count(), 0u);
  EXPECT_EQ(wrongValue, 0);
}
