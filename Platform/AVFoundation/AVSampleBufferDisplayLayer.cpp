#include "Platform/AVFoundation/AVSampleBufferDisplayLayer.hpp"

#include <cmath>

#include "Platform/CoreMedia/HostClock.hpp"

namespace platform {

void AVSampleBufferDisplayLayer::enqueueSampleBuffer(const CMSampleBuffer& sampleBuffer) {
  enqueueSampleBuffer(sampleBuffer, HostClock::seconds(HostClock::now()));
}

void AVSampleBufferDisplayLayer::enqueueSampleBuffer(const CMSampleBuffer& sampleBuffer, double hostSeconds) {
  if (!sampleBuffer.imageBuffer()) return;
  const CMTime& time = sampleBuffer.presentationTimeStamp();
  double due = hostSeconds;
  if (time.isValid() && std::isfinite(time.seconds())) {
    const double seconds = time.seconds();
    if (!timeline_ || seconds < lastPresentationSeconds_) {
      // A new line of time: what waits on the old one would never come due in order.
      queue_.clear();
      timeline_ = Timeline{seconds, hostSeconds};
    }
    lastPresentationSeconds_ = seconds;
    due = timeline_->hostSeconds + (seconds - timeline_->presentationSeconds);
  }
  if (queue_.size() == maximumQueuedFrames) queue_.pop_front();
  queue_.push_back({sampleBuffer.imageBuffer(), due});
}

void AVSampleBufferDisplayLayer::flush() {
  queue_.clear();
  displayed_.reset();
  timeline_.reset();
}

const std::shared_ptr<CVPixelBuffer>& AVSampleBufferDisplayLayer::displayedImage(double hostSeconds) {
  while (!queue_.empty() && queue_.front().dueHostSeconds <= hostSeconds) {
    displayed_ = std::move(queue_.front().image);
    queue_.pop_front();
  }
  return displayed_;
}

}  // namespace platform
