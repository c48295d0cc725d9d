// A suspended coroutine's handler lives inside PendingResume when it fits and
// on the heap otherwise; either way it must survive moves, run exactly once
// when resumed and be destroyed exactly once.

#include <gtest/gtest.h>

#include <array>
#include <asio/bind_executor.hpp>
#include <asio/io_context.hpp>
#include <chrono>
#include <exception>
#include <future>
#include <memory>
#include <utility>

#include "Platform/Concurrency/PendingResume.hpp"

namespace {

using platform::detail::PendingResume;

struct Probe {
  std::promise<int> called;
  int calls = 0;
};

template <std::size_t PayloadSize>
struct Handler {
  explicit Handler(std::shared_ptr<Probe> p, char fill) : probe(std::move(p)) { payload.fill(fill); }
  void operator()(std::exception_ptr, int value) {
    ++probe->calls;
    // The payload tells a handler moved whole from one torn by a move.
    for (char byte : payload) {
      if (byte != payload[0]) value = -1;
    }
    probe->called.set_value(value + payload[0]);
  }
  std::shared_ptr<Probe> probe;
  std::array<char, PayloadSize> payload{};
};

using SmallHandler = Handler<8>;
using LargeHandler = Handler<512>;

template <class H>
class PendingResumeTest : public testing::Test {};
using HandlerSizes = testing::Types<SmallHandler, LargeHandler>;
TYPED_TEST_SUITE(PendingResumeTest, HandlerSizes);

TYPED_TEST(PendingResumeTest, RunsOnceWithItsValueAfterMoves) {
  auto probe = std::make_shared<Probe>();
  auto replaced = std::make_shared<Probe>();
  auto called = probe->called.get_future();
  {
    PendingResume<int> first(TypeParam(probe, 3));
    PendingResume<int> moved(std::move(first));
    PendingResume<int> target(TypeParam(replaced, 5));
    target = std::move(moved);
    // The handler it held before is let go unresumed.
    EXPECT_EQ(replaced.use_count(), 1);
    std::move(target)(nullptr, 40);
  }
  ASSERT_EQ(called.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(called.get(), 43);
  EXPECT_EQ(probe->calls, 1);
  EXPECT_EQ(replaced->calls, 0);
}

TYPED_TEST(PendingResumeTest, DroppedUnresumedIsDestroyedOnceAndNeverRuns) {
  auto probe = std::make_shared<Probe>();
  {
    PendingResume<int> pending(TypeParam(probe, 1));
    PendingResume<int> moved(std::move(pending));
    EXPECT_EQ(probe.use_count(), 2);
  }
  EXPECT_EQ(probe.use_count(), 1);
  EXPECT_EQ(probe->calls, 0);
}

// Until it is resumed the handler is work its executor waits for: a context
// that runs out of other work goes on, and lets go once the handler has run.
TYPED_TEST(PendingResumeTest, KeepsItsExecutorRunningUntilTheHandlerHasRun) {
  asio::io_context context;
  auto probe = std::make_shared<Probe>();
  auto called = probe->called.get_future();
  PendingResume<int> pending(asio::bind_executor(context.get_executor(), TypeParam(probe, 2)));
  context.poll();
  EXPECT_FALSE(context.stopped()) << "the context ran out of work with a handler held";
  std::move(pending)(nullptr, 5);
  EXPECT_EQ(probe->calls, 0) << "resumed inline, not on its executor";
  context.poll();
  EXPECT_EQ(probe->calls, 1);
  ASSERT_EQ(called.wait_for(std::chrono::seconds(0)), std::future_status::ready);
  EXPECT_EQ(called.get(), 7);
  EXPECT_TRUE(context.stopped()) << "the work outlived the handler";
}

}  // namespace
