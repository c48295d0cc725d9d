#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "Platform/QuartzCore/DisplayTickSource.hpp"

namespace platform {

// A timer synchronised to a display's refresh. Once scheduled it calls its
// callback on every frame (at the preferred rate) on the tick source's run
// loop, with timestamp, targetTimestamp and duration describing that frame.
// Properties may be read and changed from any thread; a rate change takes
// effect on the running link with its next frame.
class CADisplayLink : public std::enable_shared_from_this<CADisplayLink> {
 public:
  using Callback = std::function<void(CADisplayLink& link)>;

  // The rate a preferred rate of 0 (or less) stands for.
  static constexpr int defaultFramesPerSecond = 60;
  // Faster rates are clamped to what a display refreshes at.
  static constexpr int maximumFramesPerSecond = 120;

  static std::shared_ptr<CADisplayLink> make(Callback callback,
                                            std::shared_ptr<DisplayTickSource> tickSource = DisplayTickSource::main());
  ~CADisplayLink();

  CADisplayLink(const CADisplayLink&) = delete;
  CADisplayLink& operator=(const CADisplayLink&) = delete;

  int preferredFramesPerSecond() const;
  void setPreferredFramesPerSecond(int framesPerSecond);

  bool isPaused() const;
  // A paused link skips its callbacks; the frame clock keeps going.
  void setPaused(bool paused);

  // Seconds on the host clock: the last frame shown, the next one to be
  // shown, and the time between frames. 0 before the first frame.
  double timestamp() const;
  double targetTimestamp() const;
  double duration() const;

  // Starts delivering frames; a second call, or one after invalidate(), does nothing.
  void addToRunLoop();
  // Stops for good and drops the callback.
  void invalidate();
  bool isValid() const;

 private:
  CADisplayLink(Callback callback, std::shared_ptr<DisplayTickSource> tickSource);

  std::chrono::nanoseconds period() const;
  void frame(std::uint64_t hostTime);

  mutable std::mutex mutex_;
  // Shared so a frame takes it without copying its captures.
  std::shared_ptr<const Callback> callback_;
  std::shared_ptr<DisplayTickSource> tickSource_;
  std::unique_ptr<DisplayTickSource::Subscription> subscription_;
  int preferredFramesPerSecond_ = 0;
  bool isPaused_ = false;
  bool isValid_ = true;
  std::uint64_t timestamp_ = 0;
  std::uint64_t targetTimestamp_ = 0;
};

}  // namespace platform
