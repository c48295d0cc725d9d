#include "Platform/AVFoundation/AVCaptureOutput.hpp"

#include <algorithm>

#include "Platform/AVFoundation/AVCaptureConnection.hpp"

namespace platform {

std::vector<std::shared_ptr<AVCaptureConnection>> AVCaptureOutput::connections() const {
  std::lock_guard lock(mutex_);
  return connections_;
}

void AVCaptureOutput::setSampleBufferDelegate(std::weak_ptr<AVCaptureDataOutputSampleBufferDelegate> delegate,
                                              std::shared_ptr<const SerialQueue> queue) {
  std::lock_guard lock(mutex_);
  delegate_ = std::move(delegate);
  queue_ = std::move(queue);
}

std::shared_ptr<AVCaptureDataOutputSampleBufferDelegate> AVCaptureOutput::sampleBufferDelegate() const {
  std::lock_guard lock(mutex_);
  return delegate_.lock();
}

void AVCaptureOutput::addConnection(std::shared_ptr<AVCaptureConnection> connection) {
  std::lock_guard lock(mutex_);
  if (std::find(connections_.begin(), connections_.end(), connection) == connections_.end()) {
    connections_.push_back(std::move(connection));
  }
}

void AVCaptureOutput::removeConnection(const AVCaptureConnection& connection) {
  std::lock_guard lock(mutex_);
  std::erase_if(connections_, [&](const auto& entry) { return entry.get() == &connection; });
}

void AVCaptureOutput::deliver(const CMSampleBuffer& sampleBuffer,
                              const std::shared_ptr<AVCaptureConnection>& connection) {
  std::weak_ptr<AVCaptureDataOutputSampleBufferDelegate> delegate;
  std::shared_ptr<const SerialQueue> queue;
  {
    std::lock_guard lock(mutex_);
    delegate = delegate_;
    queue = queue_;
  }
  if (!queue || delegate.expired()) return;
  if (discardsLateBuffers() && pending_->load() > 0) return;
  ++*pending_;
  queue->async([this, delegate, sampleBuffer, connection, pending = pending_] {
    if (auto target = delegate.lock()) target->captureOutput(*this, sampleBuffer, *connection);
    --*pending;
  });
}

}  // namespace platform
