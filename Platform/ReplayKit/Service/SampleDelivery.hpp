#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "Platform/ReplayKit/RPBroadcastSampleHandler.hpp"

namespace platform::broadcastservice {

// The one way sample buffers reach the handler: one call at a time, none
// while the broadcast is paused, none once it has ended.
class SampleDelivery {
 public:
  struct Counts {
    std::uint64_t video = 0;
    std::uint64_t audioApp = 0;
    std::uint64_t audioMic = 0;
  };

  explicit SampleDelivery(std::shared_ptr<RPBroadcastSampleHandler> handler);

  // False when the buffer was not handed over (paused or ended).
  bool deliver(const CMSampleBuffer& sampleBuffer, RPSampleBufferType type);
  // Each calls the handler's entry point only on a change of state.
  void pause();
  void resume();
  // After this returns no buffer reaches the handler.
  void end();
  bool isPaused() const;

  Counts counts() const;

 private:
  std::shared_ptr<RPBroadcastSampleHandler> handler_;
  mutable std::mutex mutex_;
  bool paused_ = false;
  bool ended_ = false;
  std::atomic<std::uint64_t> video_ = 0;
  std::atomic<std::uint64_t> audioApp_ = 0;
  std::atomic<std::uint64_t> audioMic_ = 0;
};

}  // namespace platform::broadcastservice
