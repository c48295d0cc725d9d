#include "Platform/CoreMedia/CMBufferQueue.hpp"

#include <algorithm>

#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace platform {

const CMBufferQueue::Handlers& CMBufferQueue::Handlers::outputPTSSortedSampleBuffers() {
  static const Handlers handlers{
      [](const CMBuffer& buffer) { return static_cast<const CMSampleBuffer*>(buffer.get())->outputPresentationTimeStamp(); },
      [](const CMBuffer& lhs, const CMBuffer& rhs) {
        return static_cast<const CMSampleBuffer*>(lhs.get())->outputPresentationTimeStamp() <=>
               static_cast<const CMSampleBuffer*>(rhs.get())->outputPresentationTimeStamp();
      },
  };
  return handlers;
}

std::shared_ptr<CMBufferQueue> CMBufferQueue::make(std::size_t capacity, const Handlers& handlers) {
  if (!handlers.getPresentationTimeStamp) throw OSStatusError(kCMBufferQueueError_InvalidCMBufferCallbacksStruct);
  return std::shared_ptr<CMBufferQueue>(new CMBufferQueue(capacity, handlers));
}

void CMBufferQueue::enqueue(CMBuffer buffer) {
  if (!buffer) throw OSStatusError(kCMBufferQueueError_RequiredParameterMissing);
  std::lock_guard lock(mutex_);
  if (capacity_ > 0 && count() >= capacity_) throw OSStatusError(kCMBufferQueueError_QueueIsFull);
  if (head_ > 0 && head_ >= count()) {
    buffers_.erase(buffers_.begin(), buffers_.begin() + static_cast<std::ptrdiff_t>(head_));
    head_ = 0;
  }
  if (!handlers_.compare) {
    buffers_.push_back(std::move(buffer));
    return;
  }
  // After every buffer that does not sort after it, so equal ones keep their order.
  const auto position =
      std::upper_bound(buffers_.begin() + static_cast<std::ptrdiff_t>(head_), buffers_.end(), buffer,
                       [this](const CMBuffer& lhs, const CMBuffer& rhs) { return handlers_.compare(lhs, rhs) < 0; });
  buffers_.insert(position, std::move(buffer));
}

CMBuffer CMBufferQueue::dequeue() {
  std::lock_guard lock(mutex_);
  if (count() == 0) return nullptr;
  CMBuffer head = std::move(buffers_[head_++]);
  if (head_ == buffers_.size()) {
    buffers_.clear();
    head_ = 0;
  }
  return head;
}

CMBuffer CMBufferQueue::head() const {
  std::lock_guard lock(mutex_);
  return count() == 0 ? nullptr : buffers_[head_];
}

bool CMBufferQueue::isEmpty() const {
  std::lock_guard lock(mutex_);
  return count() == 0;
}

void CMBufferQueue::reset() {
  std::lock_guard lock(mutex_);
  buffers_.clear();
  head_ = 0;
}

}  // namespace platform
