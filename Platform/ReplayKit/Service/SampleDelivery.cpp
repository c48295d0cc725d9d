#include "Platform/ReplayKit/Service/SampleDelivery.hpp"

namespace platform::broadcastservice {

SampleDelivery::SampleDelivery(std::shared_ptr<RPBroadcastSampleHandler> handler) : handler_(std::move(handler)) {}

bool SampleDelivery::deliver(const CMSampleBuffer& sampleBuffer, RPSampleBufferType type) {
  const std::lock_guard lock(mutex_);
  if (paused_ || ended_) return false;
  handler_->processSampleBuffer(sampleBuffer, type);
  switch (type) {
    case RPSampleBufferType::video: ++video_; break;
    case RPSampleBufferType::audioApp: ++audioApp_; break;
    case RPSampleBufferType::audioMic: ++audioMic_; break;
  }
  return true;
}

void SampleDelivery::pause() {
  const std::lock_guard lock(mutex_);
  if (paused_ || ended_) return;
  paused_ = true;
  handler_->broadcastPaused();
}

void SampleDelivery::resume() {
  const std::lock_guard lock(mutex_);
  if (!paused_ || ended_) return;
  paused_ = false;
  handler_->broadcastResumed();
}

void SampleDelivery::end() {
  const std::lock_guard lock(mutex_);
  ended_ = true;
}

bool SampleDelivery::isPaused() const {
  const std::lock_guard lock(mutex_);
  return paused_;
}

SampleDelivery::Counts SampleDelivery::counts() const { return {video_.load(), audioApp_.load(), audioMic_.load()}; }

}  // namespace platform::broadcastservice
