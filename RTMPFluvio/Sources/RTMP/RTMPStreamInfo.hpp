#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rtmpfluvio {

// What a stream counts about itself: bytes sent and received and the rate of
// the last sample, and the video frames it handed to its connection.
struct RTMPStreamInfo {
  std::int64_t byteCount = 0;
  std::optional<std::string> resourceName;
  std::int64_t currentBytesPerSecond = 0;
  std::int64_t previousByteCount = 0;
  // Encoded frames that left for the connection as video messages; frames
  // still waiting for the encoder, dropped, or sent without a connection are
  // not among them.
  std::int64_t videoFramesSent = 0;

  // Takes one rate sample: the bytes since the previous one.
  void sample() noexcept {
    currentBytesPerSecond = byteCount - previousByteCount;
    previousByteCount = byteCount;
  }

  // The byte counts and the name, by field name.
  std::string debugDescription() const;
};

}  // namespace rtmpfluvio
