#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "bench/capture/VideoArrival.hpp"

namespace capturebench {

// The capture host times of the frames handed to the extension, in order;
// the first is the frame the publication starts with. Its RTMP video
// timestamps count milliseconds from that frame and stay within a
// millisecond of the capture times, since the stream carries the dropped
// fractions over. Frames lie a frame period apart, so the capture time
// nearest to the first plus a timestamp is the one of that message's frame.
class CaptureTimeline {
 public:
  // How far a capture time may lie from where a timestamp points.
  static constexpr std::uint64_t tolerance = 2'000'000;

  // Room for `capacity` frames, taken now: noting never allocates.
  explicit CaptureTimeline(std::size_t capacity);

  // False, noting nothing, when the timeline is full or the time is not
  // later than the last one.
  bool note(std::uint64_t hostTime);
  std::size_t size() const noexcept { return times_.size(); }

  // The capture time of the frame a video message with this absolute
  // timestamp carries; nothing when no frame was captured near it.
  std::optional<std::uint64_t> captureTimeOf(std::uint32_t timestamp) const;

  // Milliseconds from capture to arrival of each arrival whose frame is
  // found, in arrival order; `unmatched` counts the others.
  std::vector<double> latencies(const std::vector<VideoArrival>& arrivals, std::size_t& unmatched) const;

 private:
  std::vector<std::uint64_t> times_;
};

}  // namespace capturebench
