#pragma once

#include <cstddef>
#include <memory>

#include "Platform/CoreMedia/CMBufferQueue.hpp"
#include "Platform/CoreMedia/CMTime.hpp"

namespace fluvio {

// A typed view of a platform buffer queue. Elements are shared handles
// (std::shared_ptr<T>), so queuing a frame never copies it. The platform queue
// is thread-safe; this wrapper adds no lock.
template <class T>
class TypedBlockQueue {
 public:
  using Element = std::shared_ptr<T>;

  // Throws platform::OSStatusError when the queue cannot be made.
  TypedBlockQueue(std::size_t capacity, const platform::CMBufferQueue::Handlers& handlers)
      : queue_(platform::CMBufferQueue::make(capacity, handlers)), capacity_(capacity) {}

  std::size_t capacity() const noexcept { return capacity_; }

  // Throws platform::OSStatusError (a full queue, a null element).
  void enqueue(Element element) { queue_->enqueue(std::move(element)); }
  Element head() const { return std::static_pointer_cast<T>(queue_->head()); }
  bool isEmpty() const { return queue_->isEmpty(); }
  Element dequeue() { return std::static_pointer_cast<T>(queue_->dequeue()); }
  void reset() { queue_->reset(); }

  // Removes every element due at `time` and gives the newest of them, so a
  // consumer that falls behind skips frames instead of lagging; null when
  // nothing is due.
  Element dequeue(const platform::CMTime& time) {
    Element due;
    while (Element element = head()) {
      if (element->presentationTimeStamp() > time) break;
      due = dequeue();
    }
    return due;
  }

 private:
  std::shared_ptr<platform::CMBufferQueue> queue_;
  std::size_t capacity_;
};

}  // namespace fluvio
