#include <gtest/gtest.h>

#include <asio/experimental/awaitable_operators.hpp>
#include <asio/strand.hpp>
#include <atomic>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Channel.hpp"
#include "Platform/Concurrency/Sleep.hpp"
#include "Platform/Concurrency/Task.hpp"
#include "Platform/Concurrency/Tests/Support/HandOverToACancelledWait.hpp"
#include "Platform/Concurrency/Tests/Support/Eventually.hpp"
#include "Platform/Concurrency/Tests/Support/Watched.hpp"

using namespace platform;
using namespace std::chrono_literals;
using namespace asio::experimental::awaitable_operators;
using platform::testing::eventually;

namespace {

using Frames = Channel<std::string>;
using Delivery = Frames::Delivery;
using Result = Frames::SendResult;

template <class T>
std::vector<T> drain(const Channel<T>& channel) {
  return blockOn([channel]() -> Async<std::vector<T>> {
    std::vector<T> seen;
    while (auto element = co_await channel.receive()) seen.push_back(std::move(*element));
    co_return seen;
  });
}

}  // namespace

// Key frames ("K") are reliable, inter frames ("p") droppable.
TEST(Channel, WhenFullTheOldestDroppableElementGoesFirst) {
  struct Offer {
    const char* frame;
    Result expected;
  };
  struct Case {
    std::size_t capacity;
    std::vector<Offer> offers;
    std::vector<std::string> received;
  };
  const std::vector<Case> cases = {
      {3,
       {{"K1", Result::enqueued}, {"p1", Result::enqueued}, {"p2", Result::enqueued}, {"p3", Result::droppedOlder},
        {"K2", Result::droppedOlder}, {"p4", Result::droppedOlder}, {"K3", Result::droppedOlder},
        {"p5", Result::dropped}, {"K4", Result::full}},
       {"K1", "K2", "K3"}},
      {1, {{"p1", Result::enqueued}, {"p2", Result::droppedOlder}, {"K1", Result::droppedOlder}, {"p3", Result::dropped}},
       {"K1"}},
      {2, {{"K1", Result::enqueued}, {"K2", Result::enqueued}, {"p1", Result::dropped}}, {"K1", "K2"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.capacity);
    Frames channel(c.capacity);
    for (const auto& offer : c.offers) {
      std::string frame = offer.frame;
      auto delivery = frame[0] == 'K' ? Delivery::reliable : Delivery::droppable;
      EXPECT_EQ(channel.trySend(std::move(frame), delivery), offer.expected) << offer.frame;
      bool taken = offer.expected == Result::enqueued || offer.expected == Result::droppedOlder;
      EXPECT_EQ(frame.empty(), taken) << "only a taken element is moved from: " << offer.frame;
    }
    channel.finish();
    EXPECT_EQ(drain(channel), c.received);
  }
}

TEST(Channel, SendWaitsForRoomAndNotBefore) {
  Frames channel(2);
  platform::testing::WatchedCount sent;
  platform::testing::Signal producerEnded;
  auto producer = spawn(globalExecutor(), [&]() -> Async<void> {
    for (std::string frame : {"a", "b", "c", "d"}) {
      if (co_await channel.send(frame) == Result::enqueued) sent.add();
    }
    producerEnded.raise();
  });
  ASSERT_TRUE(sent.reaches(2));
  // A real window: a send that wrongly went on past a full channel has no
  // event to wait for, so the third send is given time to show itself.
  EXPECT_FALSE(sent.reaches(3, 50ms)) << "a send into a full channel must wait";
  EXPECT_EQ(blockOn(channel.receive()), "a");
  ASSERT_TRUE(sent.reaches(3));
  channel.finish();
  EXPECT_EQ(drain(channel), (std::vector<std::string>{"b", "c"}));
  EXPECT_EQ(blockOn(channel.send("late")), Result::finished);
  ASSERT_TRUE(producerEnded.wait());
  EXPECT_EQ(sent.load(), 3) << "the send waiting at finish reports finished";
}

TEST(Channel, FinishingWithAnErrorDeliversTheBufferFirstThenThrows) {
  for (bool withError : {false, true}) {
    Frames channel(4);
    std::string frame = "x";
    channel.trySend(std::move(frame));
    if (withError) {
      channel.finish(std::make_exception_ptr(std::runtime_error("reset by peer")));
    } else {
      channel.finish();
    }
    EXPECT_EQ(blockOn(channel.receive()), "x");
    if (withError) {
      EXPECT_THROW(blockOn(channel.receive()), std::runtime_error);
    } else {
      EXPECT_EQ(blockOn(channel.receive()), std::nullopt);
    }
    std::string after = "y";
    EXPECT_EQ(channel.trySend(std::move(after)), Result::finished);
    EXPECT_EQ(after, "y");
  }
}

// The frame reaches a receive whose cancellation is already under way: the
// cancelled receive gives it back, still ahead of later frames.
TEST(Channel, AFrameHandedToACancelledReceiveStaysFirstInTheChannel) {
  Frames channel(4);
  const auto winner = platform::testing::handOverToACancelledWait([channel] { return channel.receive(); },
                                                        [channel] { EXPECT_EQ(channel.trySend("a"), Result::enqueued); });
  EXPECT_EQ(winner, 1u) << "the rival wins the race";
  EXPECT_EQ(channel.trySend("b"), Result::enqueued);
  channel.finish();
  EXPECT_EQ(drain(channel), (std::vector<std::string>{"a", "b"}));
}

TEST(Channel, ManyProducersAndAConsumerCancelledAtRandomLoseNothing) {
  constexpr int producers = 8;
  constexpr int perProducer = 1000;
  Channel<std::pair<int, int>> channel(4);
  std::atomic<int> producersDone = 0;
  for (int p = 0; p < producers; ++p) {
    spawn(globalExecutor(), [channel, &producersDone, p]() -> Async<void> {
      for (int i = 0; i < perProducer; ++i) co_await channel.send({p, i});
      if (++producersDone == producers) channel.finish();
    });
  }
  auto strand = asio::make_strand(globalExecutor());
  auto counts = blockOn(
      [channel]() -> Async<std::vector<int>> {
        std::mt19937 random(11);
        std::vector<int> next(producers, 0);
        for (;;) {
          // Race each receive against a short sleep: the loser is cancelled.
          auto raced = co_await (channel.receive() || sleepFor(std::chrono::microseconds(random() % 50)));
          if (raced.index() == 1) continue;
          auto element = std::get<0>(std::move(raced));
          if (!element) co_return next;
          auto [who, sequence] = *element;
          if (sequence != next[who]) co_return std::vector<int>{};  // lost or reordered
          ++next[who];
        }
      },
      strand);
  EXPECT_EQ(counts, std::vector<int>(producers, perProducer));
}
