#pragma once

#include <memory>
#include <mutex>
#include <optional>

#include "Fluvio/Sources/Stream/DisplayLinkTime.hpp"
#include "Fluvio/Sources/Util/Runner.hpp"
#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/QuartzCore/CADisplayLink.hpp"
#include "Platform/QuartzCore/DisplayTickSource.hpp"

namespace fluvio {

// Turns display refreshes into a sequence of frame times. Each start makes a
// new display link on the tick source; ticks arrive on the source's run loop
// and are yielded to whoever holds the current `updateFrames()` sequence.
// Start, stop and the rate may be used from any thread.
class DisplayLinkChoreographer final : public Runner, public std::enable_shared_from_this<DisplayLinkChoreographer> {
 public:
  using UpdateFrames = platform::AsyncStream<DisplayLinkTime>;

  static std::shared_ptr<DisplayLinkChoreographer> make(
      std::shared_ptr<platform::DisplayTickSource> tickSource = platform::DisplayTickSource::main());

  DisplayLinkChoreographer(const DisplayLinkChoreographer&) = delete;
  DisplayLinkChoreographer& operator=(const DisplayLinkChoreographer&) = delete;

  // 0 is the display's default rate. A change reaches the running link.
  int preferredFramesPerSecond() const;
  void setPreferredFramesPerSecond(int framesPerSecond);

  // A new, unbounded sequence of frame times; the one handed out before is
  // finished. Stopping finishes it too, so read again for the next run.
  UpdateFrames updateFrames();

  bool isRunning() const override;
  void startRunning() override;
  void stopRunning() override;

 private:
  explicit DisplayLinkChoreographer(std::shared_ptr<platform::DisplayTickSource> tickSource)
      : tickSource_(std::move(tickSource)) {}

  // Invalidates the link it replaces; a new link is scheduled at the current
  // rate. Lock order: choreographer, link, tick source; ticks arrive holding none.
  void setDisplayLink(std::shared_ptr<platform::CADisplayLink> displayLink);
  void update(const platform::CADisplayLink& displayLink);

  const std::shared_ptr<platform::DisplayTickSource> tickSource_;
  mutable std::mutex mutex_;
  int preferredFramesPerSecond_ = 0;
  bool isRunning_ = false;
  std::shared_ptr<platform::CADisplayLink> displayLink_;
  std::optional<UpdateFrames::Continuation> continuation_;
};

}  // namespace fluvio
