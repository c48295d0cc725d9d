#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "Platform/CoreMedia/CMBufferQueue.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

using namespace platform;

namespace {

std::shared_ptr<CMSampleBuffer> frame(std::int64_t milliseconds) {
  const CMSampleTimingInfo timing{CMTime::make(33, 1000), CMTime::make(milliseconds, 1000), CMTime::invalid};
  return CMSampleBuffer::make(nullptr, false, nullptr, 1, {&timing, 1}, {}).value;
}

CMTime headTime(const CMBufferQueue& queue) {
  return static_cast<CMSampleBuffer*>(queue.head().get())->presentationTimeStamp();
}

}  // namespace

TEST(CMBufferQueueTests, KeepsSampleBuffersInPresentationOrder) {
  const auto queue = CMBufferQueue::make(0, CMBufferQueue::Handlers::outputPTSSortedSampleBuffers());
  const auto first = frame(66);
  const auto tie = frame(66);
  queue->enqueue(first);
  queue->enqueue(frame(0));
  queue->enqueue(tie);
  queue->enqueue(frame(33));
  EXPECT_EQ(headTime(*queue), CMTime::zero);
  queue->dequeue();
  EXPECT_EQ(headTime(*queue), CMTime::make(33, 1000));
  queue->dequeue();
  EXPECT_EQ(queue->dequeue(), first);  // equal times keep arrival order
  EXPECT_EQ(queue->dequeue(), tie);
  EXPECT_TRUE(queue->isEmpty());
  EXPECT_EQ(queue->dequeue(), nullptr);
  EXPECT_EQ(queue->head(), nullptr);
}

TEST(CMBufferQueueTests, RefusesBuffersBeyondItsCapacity) {
  const auto queue = CMBufferQueue::make(2, CMBufferQueue::Handlers::outputPTSSortedSampleBuffers());
  queue->enqueue(frame(0));
  queue->enqueue(frame(1));
  try {
    queue->enqueue(frame(2));
    FAIL() << "a full queue took a buffer";
  } catch (const OSStatusError& error) {
    EXPECT_EQ(error.status(), kCMBufferQueueError_QueueIsFull);
  }
  EXPECT_THROW(queue->enqueue(nullptr), OSStatusError);
  queue->reset();
  EXPECT_TRUE(queue->isEmpty());
  EXPECT_NO_THROW(queue->enqueue(frame(2)));
  EXPECT_THROW(CMBufferQueue::make(1, CMBufferQueue::Handlers{}), OSStatusError);
}

// A queue that never runs empty reuses the space of taken buffers as it goes;
// the order holds throughout, checked against a sorted model.
TEST(CMBufferQueueTests, KeepsOrderWhileTakingAndAddingWithoutRunningEmpty) {
  const auto queue = CMBufferQueue::make(0, CMBufferQueue::Handlers::outputPTSSortedSampleBuffers());
  std::multiset<std::int64_t> model;
  std::uint32_t seed = 1;
  const auto next = [&seed] { return std::int64_t((seed = seed * 1103515245 + 12345) >> 16) % 500; };
  for (int step = 0; step < 400; ++step) {
    const int adds = step < 5 ? 2 : (step % 3 == 0 ? 2 : 1);
    for (int add = 0; add < adds; ++add) {
      const std::int64_t time = next();
      queue->enqueue(frame(time));
      model.insert(time);
    }
    ASSERT_EQ(headTime(*queue), CMTime::make(*model.begin(), 1000)) << "step " << step;
    queue->dequeue();
    model.erase(model.begin());
  }
  while (!model.empty()) {
    ASSERT_EQ(headTime(*queue), CMTime::make(*model.begin(), 1000));
    queue->dequeue();
    model.erase(model.begin());
  }
  EXPECT_TRUE(queue->isEmpty());
}

TEST(CMBufferQueueTests, TakesBuffersFromSeveralThreads) {
  const auto queue = CMBufferQueue::make(0, CMBufferQueue::Handlers::outputPTSSortedSampleBuffers());
  std::vector<std::thread> producers;
  for (int thread = 0; thread < 4; ++thread) {
    producers.emplace_back([&queue, thread] {
      for (int index = 0; index < 250; ++index) queue->enqueue(frame(index * 4 + thread));
    });
  }
  for (auto& producer : producers) producer.join();
  for (std::int64_t expected = 0; expected < 1000; ++expected) {
    const auto buffer = queue->dequeue();
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(static_cast<CMSampleBuffer*>(buffer.get())->presentationTimeStamp(), CMTime::make(expected, 1000));
  }
  EXPECT_TRUE(queue->isEmpty());
}
