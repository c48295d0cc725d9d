#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

#include "RTMPFluvio/Tests/RTMP/ScriptedRTMPServer.hpp"
#include "bench/capture/VideoArrival.hpp"

namespace capturebench {

// A loopback RTMP server on a thread of its own that answers one publisher
// as a live server would and notes each coded video frame as it arrives.
// Its thread's allocations are not the pipeline's.
class LoopbackIngest {
 public:
  // Notes up to `capacity` frames, room taken now.
  explicit LoopbackIngest(std::size_t capacity);
  ~LoopbackIngest();
  LoopbackIngest(const LoopbackIngest&) = delete;
  LoopbackIngest& operator=(const LoopbackIngest&) = delete;

  std::string url() const { return server_.url("/live"); }
  std::size_t framesReceived() const noexcept { return received_.load(std::memory_order_acquire); }

  // Waits until the publisher has gone (or stayed silent past the server's
  // deadline); the frames in arrival order. Throws what ended the serving
  // when that was not the publisher going.
  std::vector<VideoArrival> finish();

 private:
  void serve();

  rtmpfluvio::testing::ScriptedRTMPServer server_;
  std::vector<VideoArrival> arrivals_;
  std::atomic<std::size_t> received_{0};
  std::exception_ptr failure_;
  std::thread thread_;
};

}  // namespace capturebench
