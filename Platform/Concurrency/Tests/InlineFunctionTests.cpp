#include "Platform/Concurrency/InlineFunction.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace {

using platform::InlineFunction;

// Counts the live copies of what a target holds, so that a target that is
// lost or ended twice shows.
struct Tracked {
  explicit Tracked(int& live) : live(&live) { ++live; }
  Tracked(Tracked&& other) noexcept : live(other.live) { ++*live; }
  Tracked(const Tracked&) = delete;
  ~Tracked() { --*live; }
  int* live;
};

TEST(InlineFunction, MovesCallsAndEndsItsTargetExactlyOnce) {
  int live = 0;
  int calls = 0;
  {
    InlineFunction<int(int)> first = [tracked = Tracked(live), &calls](int step) mutable {
      calls += step;
      return calls;
    };
    EXPECT_EQ(live, 1);
    EXPECT_EQ(first(2), 2);
    InlineFunction<int(int)> second = std::move(first);
    EXPECT_FALSE(first);
    ASSERT_TRUE(second);
    EXPECT_EQ(live, 1) << "the moved-from target ended";
    // A const function calls its target, which keeps its own state.
    const auto& constant = second;
    EXPECT_EQ(constant(3), 5);
    // The target that an assignment replaces ends there.
    int replacedLive = 0;
    InlineFunction<int(int)> third = [tracked = Tracked(replacedLive)](int step) { return -step; };
    EXPECT_EQ(replacedLive, 1);
    third = std::move(second);
    EXPECT_EQ(replacedLive, 0);
    EXPECT_EQ(live, 1);
    EXPECT_EQ(third(1), 6);
    third = nullptr;
    EXPECT_EQ(live, 0);
    EXPECT_FALSE(third);
  }
  EXPECT_EQ(live, 0);
}

TEST(InlineFunction, PassesArgumentsAsDeclaredAndAnEmptyOneThrowsWhenCalled) {
  InlineFunction<std::string(std::unique_ptr<int>, const std::string&)> join =
      [prefix = std::string("n=")](std::unique_ptr<int> number, const std::string& suffix) {
        return prefix + std::to_string(*number) + suffix;
      };
  EXPECT_EQ(join(std::make_unique<int>(7), "!"), "n=7!");
  InlineFunction<void()> empty;
  EXPECT_FALSE(empty);
  EXPECT_THROW(empty(), std::bad_function_call);
  InlineFunction<void()> none = nullptr;
  EXPECT_FALSE(none);
}

}  // namespace
