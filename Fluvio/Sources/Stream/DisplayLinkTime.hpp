#pragma once

namespace fluvio {

// One display refresh: when the last frame was shown and when the next one
// will be, in seconds on the host clock.
struct DisplayLinkTime {
  double timestamp = 0;
  double targetTimestamp = 0;

  friend bool operator==(const DisplayLinkTime&, const DisplayLinkTime&) = default;
};

}  // namespace fluvio
