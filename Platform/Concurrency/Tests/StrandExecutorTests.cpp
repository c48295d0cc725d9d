#include <gtest/gtest.h>

#include <asio/defer.hpp>
#include <asio/dispatch.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <thread>
#include <vector>

#include "Platform/Concurrency/StrandExecutor.hpp"

using namespace platform;
namespace execution = asio::execution;

namespace {

StrandExecutor strandOn(asio::io_context& context) { return StrandExecutor(Executor(context.get_executor())); }

TEST(StrandExecutor, EachPropertyAskedIsTheOneQueriedAndCanBeAskedBack) {
  asio::io_context context;
  const auto strand = strandOn(context);
  EXPECT_EQ(asio::query(strand, execution::blocking), execution::blocking.possibly);
  EXPECT_EQ(asio::query(strand, execution::relationship), execution::relationship.fork);
  EXPECT_EQ(asio::query(strand, execution::outstanding_work), execution::outstanding_work.untracked);

  const auto never = asio::require(strand, execution::blocking.never);
  const auto continuation = asio::prefer(never, execution::relationship.continuation);
  const auto tracked = asio::prefer(continuation, execution::outstanding_work.tracked);
  EXPECT_EQ(asio::query(tracked, execution::blocking), execution::blocking.never);
  EXPECT_EQ(asio::query(tracked, execution::relationship), execution::relationship.continuation);
  EXPECT_EQ(asio::query(tracked, execution::outstanding_work), execution::outstanding_work.tracked);

  const auto back = asio::prefer(asio::prefer(asio::prefer(tracked, execution::blocking.possibly),
                                              execution::relationship.fork),
                                 execution::outstanding_work.untracked);
  EXPECT_EQ(back, strand);
  EXPECT_NE(never, strand);
  EXPECT_NE(continuation, never);
  EXPECT_NE(strandOn(context), strand);  // another strand on the same context
  EXPECT_EQ(&asio::query(tracked, execution::context), static_cast<asio::execution_context*>(&context));
}

TEST(StrandExecutor, OnlyTrackedHandlesKeepTheirContextRunning) {
  asio::io_context context;
  const auto strand = strandOn(context);
  {
    auto tracked = asio::prefer(strand, execution::outstanding_work.tracked);
    Executor erased = tracked;  // a copy, held as the runtime holds one
    tracked = asio::prefer(strand, execution::outstanding_work.untracked);
    context.poll();
    EXPECT_FALSE(context.stopped());  // the erased copy still counts
  }
  context.poll();
  EXPECT_TRUE(context.stopped());
}

TEST(StrandExecutor, WorkThroughAnyHandleRunsOneAtATimeInOrder) {
  asio::io_context context;
  const auto strand = strandOn(context);
  const Executor erased = strand;
  std::vector<int> order;
  for (int item = 0; item < 300; ++item) {
    switch (item % 3) {
      case 0: asio::post(erased, [&, item] { order.push_back(item); }); break;
      case 1: asio::defer(strand, [&, item] { order.push_back(item); }); break;
      default: asio::dispatch(erased, [&, item] { order.push_back(item); }); break;
    }
  }
  EXPECT_TRUE(order.empty());  // nothing ran inside the calls
  std::vector<std::thread> threads;
  for (int thread = 0; thread < 4; ++thread) threads.emplace_back([&] { context.run(); });
  for (auto& thread : threads) thread.join();
  ASSERT_EQ(order.size(), 300u);
  for (int item = 0; item < 300; ++item) ASSERT_EQ(order[item], item);
}

TEST(StrandExecutor, DispatchFromItsOwnWorkRunsAtOncePostWaitsItsTurn) {
  asio::io_context context;
  const auto strand = strandOn(context);
  const auto other = strandOn(context);
  std::vector<const char*> steps;
  bool insideOwn = true, insideOther = true;
  asio::post(strand, [&] {
    insideOwn = strand.running_in_this_thread();
    insideOther = other.running_in_this_thread();
    asio::post(Executor(strand), [&] { steps.push_back("posted"); });
    asio::dispatch(Executor(strand), [&] { steps.push_back("dispatched"); });
    steps.push_back("outer");
  });
  context.run();
  EXPECT_TRUE(insideOwn);
  EXPECT_FALSE(insideOther);
  EXPECT_FALSE(strand.running_in_this_thread());
  EXPECT_EQ(steps, (std::vector<const char*>{"dispatched", "outer", "posted"}));
}

}  // namespace
