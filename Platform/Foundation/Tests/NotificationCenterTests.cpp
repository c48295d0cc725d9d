#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <thread>
#include <vector>

#include "Platform/Foundation/NotificationCenter.hpp"

namespace platform {
namespace {

TEST(NotificationCenterTests, DeliversByNameAndObjectToEveryMatchingObserverInOrder) {
  NotificationCenter center;
  auto sender = std::make_shared<int>(1);
  auto other = std::make_shared<int>(2);
  std::vector<std::string> calls;
  int first = 0, second = 0;
  center.addObserver(
      &first, [&](const Notification& n) { calls.push_back("any:" + n.name); }, "ended");
  center.addObserver(
      &second, [&](const Notification&) { calls.push_back("sender"); }, "ended", sender.get());

  center.post("ended", sender);
  center.post("ended", other);
  center.post("ended");
  center.post("began", sender);

  EXPECT_EQ(calls, (std::vector<std::string>{"any:ended", "sender", "any:ended", "any:ended"}));
}

TEST(NotificationCenterTests, PassesObjectAndUserInfoThrough) {
  NotificationCenter center;
  auto sender = std::make_shared<int>(7);
  int observer = 0;
  std::optional<std::uint64_t> type;
  const void* postedBy = nullptr;
  center.addObserver(
      &observer,
      [&](const Notification& n) {
        postedBy = n.object.get();
        if (const auto* value = n.userInfoValue(AVAudioSessionInterruptionTypeKey)) type = unsignedValue(*value);
      },
      std::string(AVAudioSessionInterruptionNotification));

  center.post(std::string(AVAudioSessionInterruptionNotification), sender,
              {{std::string(AVAudioSessionInterruptionTypeKey), std::uint64_t{1}}});

  EXPECT_EQ(postedBy, sender.get());
  EXPECT_EQ(type, 1u);
}

TEST(NotificationCenterTests, RemovesOneNameOrEveryRegistrationOfAnObserver) {
  NotificationCenter center;
  int observer = 0, bystander = 0;
  int a = 0, b = 0, kept = 0;
  center.addObserver(
      &observer, [&](const Notification&) { ++a; }, "a");
  center.addObserver(
      &observer, [&](const Notification&) { ++b; }, "b");
  center.addObserver(
      &bystander, [&](const Notification&) { ++kept; }, "a");

  center.removeObserver(&observer, "a");
  center.post("a");
  center.post("b");
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 1);

  center.removeObserver(&observer);
  center.post("b");
  center.post("a");
  EXPECT_EQ(b, 1);
  EXPECT_EQ(kept, 2);
}

TEST(NotificationCenterTests, AnObserverMayRemoveItselfWhileItRuns) {
  NotificationCenter center;
  int observer = 0;
  int calls = 0;
  center.addObserver(
      &observer,
      [&](const Notification&) {
        ++calls;
        center.removeObserver(&observer);
      },
      "once");

  center.post("once");
  center.post("once");
  EXPECT_EQ(calls, 1);
}

TEST(NotificationCenterTests, PostsFromManyThreadsWhileObserversComeAndGo) {
  NotificationCenter center;
  std::atomic<int> delivered = 0;
  int steady = 0;
  center.addObserver(
      &steady, [&](const Notification&) { delivered.fetch_add(1); }, "tick");

  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) center.post("tick");
    });
  }
  threads.emplace_back([&] {
    int churn = 0;
    for (int i = 0; i < 500; ++i) {
      center.addObserver(
          &churn, [](const Notification&) {}, "tick");
      center.removeObserver(&churn);
    }
  });
  for (auto& thread : threads) thread.join();

  EXPECT_EQ(delivered.load(), 2000);
}

TEST(NotificationTests, UnsignedValueTakesNonNegativeNumbersOnly) {
  EXPECT_EQ(unsignedValue(std::uint64_t{0}), 0u);
  EXPECT_EQ(unsignedValue(std::int64_t{3}), 3u);
  EXPECT_EQ(unsignedValue(2.9), 2u);
  EXPECT_EQ(unsignedValue(std::int64_t{-1}), std::nullopt);
  EXPECT_EQ(unsignedValue(-0.5), std::nullopt);
  EXPECT_EQ(unsignedValue(1e30), std::nullopt);
  EXPECT_EQ(unsignedValue(std::numeric_limits<double>::quiet_NaN()), std::nullopt);
  EXPECT_EQ(unsignedValue(false), std::nullopt);
  EXPECT_EQ(unsignedValue(std::string("0")), std::nullopt);
}

}  // namespace
}  // namespace platform
