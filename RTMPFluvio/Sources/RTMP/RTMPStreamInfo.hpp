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
  // Encoded frames whose video message the socket handed whole to the
  // system; frames waiting for the encoder or the network, dropped, or sent
  // without a connection are not among them.
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
