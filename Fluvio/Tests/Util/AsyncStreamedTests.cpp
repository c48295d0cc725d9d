#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <optional>
#include <vector>

#include "Fluvio/Sources/Util/AsyncStreamed.hpp"
#include "Fluvio/Sources/Util/AsyncStreamedFlow.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Task.hpp"

namespace fluvio {
namespace {

using platform::Async;
using platform::AsyncStream;

std::optional<int> next(const AsyncStream<int>& stream) { return platform::blockOn(stream.next()); }

// Everything still to come, up to the end of the stream.
std::vector<int> drain(const AsyncStream<int>& stream) {
  std::vector<int> elements;
  while (auto element = next(stream)) elements.push_back(*element);
  return elements;
}

// Collects on its own task, so the stream can end while the consumer waits.
std::future<std::vector<int>> consume(AsyncStream<int> stream) {
  auto done = std::make_shared<std::promise<std::vector<int>>>();
  auto result = done->get_future();
  platform::spawn(platform::globalExecutor(), [](AsyncStream<int> stream, auto done) -> Async<void> {
    std::vector<int> elements;
    while (auto element = co_await stream.next()) elements.push_back(*element);
    done->set_value(std::move(elements));
  }(std::move(stream), done));
  return result;
}

constexpr auto kPatience = std::chrono::seconds(5);

TEST(AsyncStreamedTests, YieldsRealChangesAndRepeatsTheValueOnEveryRead) {
  AsyncStreamed<int> streamed(1);
  const auto stream = streamed.wrappedValue();
  EXPECT_EQ(next(stream), 1);

  streamed.setValue(2);
  EXPECT_EQ(next(stream), 2);
  streamed.setValue(2);  // equal: nothing
  streamed.setValue(3);
  EXPECT_EQ(next(stream), 3);
  EXPECT_EQ(streamed.value(), 3);

  // The same stream again, with the present value first.
  const auto again = streamed.wrappedValue();
  EXPECT_EQ(next(again), 3);
  streamed.setValue(4);
  EXPECT_EQ(next(stream), 4);
}

TEST(AsyncStreamedTests, FinishesItsSequenceWhenTheWrapperGoesAway) {
  std::optional<AsyncStreamed<int>> streamed(std::in_place, 1);
  auto seen = consume(streamed->wrappedValue());
  streamed->setValue(2);
  streamed.reset();
  ASSERT_EQ(seen.wait_for(kPatience), std::future_status::ready);
  EXPECT_EQ(seen.get(), (std::vector<int>{1, 2}));
}

TEST(AsyncStreamedTests, MovingTheWrapperCarriesItsSequenceAlong) {
  AsyncStreamed<int> original(1);
  const auto stream = original.wrappedValue();
  std::optional<AsyncStreamed<int>> moved(std::move(original));
  moved->setValue(5);
  moved.reset();
  EXPECT_EQ(drain(stream), (std::vector<int>{1, 5}));
}

TEST(AsyncStreamedFlowTests, DropsYieldsWhileNoSequenceIsHandedOut) {
  AsyncStreamedFlow<int> flow;
  flow.yield(1);
  const auto stream = flow.wrappedValue();
  flow.yield(2);
  flow.finish();
  flow.yield(3);
  EXPECT_EQ(drain(stream), (std::vector<int>{2}));
}

TEST(AsyncStreamedFlowTests, ANewReadEndsTheEarlierConsumer) {
  AsyncStreamedFlow<int> flow;
  auto first = consume(flow.wrappedValue());
  flow.yield(1);
  const auto second = flow.wrappedValue();
  ASSERT_EQ(first.wait_for(kPatience), std::future_status::ready);
  EXPECT_EQ(first.get(), (std::vector<int>{1}));

  flow.yield(2);
  EXPECT_EQ(next(second), 2);
}

TEST(AsyncStreamedFlowTests, FinishEndsTheConsumerAndAReadAfterwardsStartsAfresh) {
  AsyncStreamedFlow<int> flow;
  auto waiting = consume(flow.wrappedValue());
  flow.yield(7);
  flow.finish();
  ASSERT_EQ(waiting.wait_for(kPatience), std::future_status::ready);
  EXPECT_EQ(waiting.get(), (std::vector<int>{7}));

  const auto fresh = flow.wrappedValue();
  flow.yield(8);
  EXPECT_EQ(next(fresh), 8);
}

TEST(AsyncStreamedFlowTests, GoingAwayFinishesTheCurrentSequence) {
  std::optional<AsyncStreamedFlow<int>> flow(std::in_place);
  auto waiting = consume(flow->wrappedValue());
  flow->yield(1);
  flow.reset();
  ASSERT_EQ(waiting.wait_for(kPatience), std::future_status::ready);
  EXPECT_EQ(waiting.get(), (std::vector<int>{1}));
}

TEST(AsyncStreamedFlowTests, ASlowConsumerSeesOnlyTheNewestElementsItsPolicyKeeps) {
  AsyncStreamedFlow<int> flow(platform::BufferingPolicy::bufferingNewest(2));
  const auto stream = flow.wrappedValue();
  for (int element = 1; element <= 5; ++element) flow.yield(element);
  flow.finish();
  EXPECT_EQ(drain(stream), (std::vector<int>{4, 5}));
}

}  // namespace
}  // namespace fluvio
