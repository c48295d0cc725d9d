#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>

#include "Platform/AVFoundation/AVLayerVideoGravity.hpp"
#include "Platform/CoreGraphics/CGColor.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace platform {

// A layer that shows enqueued video frames by their own timing: the first
// frame's presentation time is tied to the host time it arrived at, and every
// later frame is shown when the host clock reaches its time on that line (a
// frame without a valid time at once; a time that goes backwards starts a new
// line and drops the frames waiting on the old one). Whoever draws the layer asks it for the frame of the moment. Holds at
// most `maximumQueuedFrames` waiting frames and drops the oldest beyond them.
// One thread at a time (the main thread).
class AVSampleBufferDisplayLayer {
 public:
  static constexpr std::size_t maximumQueuedFrames = 16;

  AVLayerVideoGravity videoGravity() const noexcept { return videoGravity_; }
  void setVideoGravity(AVLayerVideoGravity gravity) noexcept { videoGravity_ = gravity; }
  const CGColor& backgroundColor() const noexcept { return backgroundColor_; }
  void setBackgroundColor(CGColor color) { backgroundColor_ = std::move(color); }

  // Frames without an image buffer are ignored. `hostSeconds`: the arrival time.
  void enqueueSampleBuffer(const CMSampleBuffer& sampleBuffer, double hostSeconds);
  void enqueueSampleBuffer(const CMSampleBuffer& sampleBuffer);
  // Drops the waiting frames and the one shown.
  void flush();

  // Moves to the newest frame due at `hostSeconds` (dropping the older due
  // ones) and returns the frame shown then; none before the first.
  const std::shared_ptr<CVPixelBuffer>& displayedImage(double hostSeconds);
  // Frames still waiting for their time.
  std::size_t queuedFrames() const noexcept { return queue_.size(); }

 private:
  struct Queued {
    std::shared_ptr<CVPixelBuffer> image;
    double dueHostSeconds;
  };
  struct Timeline {
    double presentationSeconds;
    double hostSeconds;
  };

  AVLayerVideoGravity videoGravity_ = AVLayerVideoGravity::resizeAspect;
  CGColor backgroundColor_ = CGColor::clear();
  std::optional<Timeline> timeline_;
  double lastPresentationSeconds_ = 0;
  std::deque<Queued> queue_;
  std::shared_ptr<CVPixelBuffer> displayed_;
};

}  // namespace platform
