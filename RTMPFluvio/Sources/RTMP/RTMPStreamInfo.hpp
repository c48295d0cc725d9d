#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rtmpfluvio {

// What a stream counts about itself: bytes sent and received and the rate of
// the last sample.
struct RTMPStreamInfo {
  std::int64_t byteCount = 0;
  std::optional<std::string> resourceName;
  std::int64_t currentBytesPerSecond = 0;
  std::int64_t previousByteCount = 0;

  // Takes one rate sample: the bytes since the previous one.
  void sample() noexcept {
    currentBytesPerSecond = byteCount - previousByteCount;
    previousByteCount = byteCount;
  }

  // The four fields by name.
  std::string debugDescription() const;
};

}  // namespace rtmpfluvio
