#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rtmpfluvio {

// What a stream counts about itself: bytes sent and received and the rate of
// the last sample, and the video frames its connection wrote.
struct RTMPStreamInfo {
  std::int64_t byteCount = 0;
  std::optional<std::string> resourceName;
  std::int64_t currentBytesPerSecond = 0;
  std::int64_t previousByteCount = 0;
  // Encoded frames whose video message went to the connection, and of those
  // the frames whose message the server acknowledged to its last byte: what
  // it received. Frames waiting for the encoder or the network, dropped, or
  // sent without a connection are among neither.
  std::int64_t videoFramesHandedOver = 0;
  std::int64_t videoFramesSent = 0;
  // Frames still waiting for the network when a publication or its link
  // ended, never sent.
  std::int64_t videoFramesAbandoned = 0;
  // Media dropped while waiting because the network did not keep up.
  std::int64_t videoFramesDroppedForBacklog = 0;
  std::int64_t audioBuffersDroppedForBacklog = 0;

  // Frames the server will not have: abandoned, or handed over and not
  // acknowledged (at the end; until then some are only on their way).
  std::int64_t videoFramesNotDelivered() const noexcept {
    return videoFramesAbandoned + videoFramesHandedOver - videoFramesSent;
  }

  // Takes one rate sample: the bytes since the previous one.
  void sample() noexcept {
    currentBytesPerSecond = byteCount - previousByteCount;
    previousByteCount = byteCount;
  }

  // The byte counts and the name, by field name.
  std::string debugDescription() const;
};

}  // namespace rtmpfluvio
