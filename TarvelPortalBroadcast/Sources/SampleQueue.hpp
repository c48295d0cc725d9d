#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "Platform/Concurrency/AsyncStream.hpp"

namespace tarvelportalbroadcast {

// Buffers of one media kind on their way to the stream, in the order they
// came: at most `limit` wait, and a buffer that arrives when the queue is
// full pushes out the oldest one, which is counted as dropped.
template <class Element>
class SampleQueue {
 public:
  explicit SampleQueue(std::size_t limit)
      : SampleQueue(platform::AsyncStream<Element>::makeStream(platform::BufferingPolicy::bufferingNewest(limit))) {}

  void push(Element element) {
    if (input_.yield(std::move(element)) == platform::AsyncStream<Element>::YieldResult::dropped) ++dropped_;
  }
  // What was pushed before still comes out; then the queue ends.
  void finish() const { input_.finish(); }
  platform::AsyncStream<Element>& output() noexcept { return output_; }
  std::uint64_t dropped() const noexcept { return dropped_.load(std::memory_order_relaxed); }

 private:
  using Ends = std::pair<platform::AsyncStream<Element>, typename platform::AsyncStream<Element>::Continuation>;
  explicit SampleQueue(Ends ends) : output_(std::move(ends.first)), input_(std::move(ends.second)) {}

  platform::AsyncStream<Element> output_;
  typename platform::AsyncStream<Element>::Continuation input_;
  std::atomic<std::uint64_t> dropped_ = 0;
};

}  // namespace tarvelportalbroadcast
