#pragma once

#include <compare>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "Platform/CoreMedia/CMTime.hpp"
#include "Platform/CoreMedia/OSStatus.hpp"

namespace platform {

inline constexpr OSStatus kCMBufferQueueError_RequiredParameterMissing = -12761;
inline constexpr OSStatus kCMBufferQueueError_InvalidCMBufferCallbacksStruct = -12762;
inline constexpr OSStatus kCMBufferQueueError_QueueIsFull = -12764;

// Any buffer a queue can hold; the handlers know its real type.
using CMBuffer = std::shared_ptr<void>;

// A thread-safe queue of buffers of one kind. With a `compare` handler the
// queue keeps its buffers sorted (buffers that compare equal stay in arrival
// order); without one, in arrival order. A capacity above 0 bounds the count.
class CMBufferQueue {
 public:
  struct Handlers {
    std::function<CMTime(const CMBuffer&)> getPresentationTimeStamp;
    std::function<std::strong_ordering(const CMBuffer&, const CMBuffer&)> compare;

    // Sample buffers kept in order of their output presentation time.
    static const Handlers& outputPTSSortedSampleBuffers();
  };

  // Throws OSStatusError when the presentation-time handler is missing.
  static std::shared_ptr<CMBufferQueue> make(std::size_t capacity, const Handlers& handlers);

  // Throws OSStatusError for a null buffer or a full queue.
  void enqueue(CMBuffer buffer);
  // Removes and gives the head; null when empty.
  CMBuffer dequeue();
  CMBuffer head() const;
  bool isEmpty() const;
  // Empties the queue.
  void reset();

 private:
  CMBufferQueue(std::size_t capacity, const Handlers& handlers) : capacity_(capacity), handlers_(handlers) {}

  std::size_t count() const noexcept { return buffers_.size() - head_; }

  const std::size_t capacity_;
  const Handlers handlers_;
  mutable std::mutex mutex_;
  // The queue is buffers_[head_...]: taking the head only moves head_ on, and
  // the space is reused once the queue empties (or is half spent), so a
  // steady stream allocates nothing.
  std::vector<CMBuffer> buffers_;
  std::size_t head_ = 0;
};

}  // namespace platform
