#pragma once

#include "Platform/CoreMedia/CMTime.hpp"

namespace fluvio {

// Frames per second that actually pass a point, measured over windows of at
// least one second of presentation time.
struct FrameTracker {
  int frameRate = 0;
  int count = 0;
  platform::CMTime rotated = platform::CMTime::zero;

  // Call once for every frame used, with its presentation time.
  void update(const platform::CMTime& presentationTimeStamp);
};

}  // namespace fluvio
