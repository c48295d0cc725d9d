#pragma once

#include <cstdint>
#include <string>

#include "Platform/ReplayKit/RPBroadcastSampleHandler.hpp"
#include "Platform/ReplayKit/Service/SampleDelivery.hpp"

namespace platform::broadcastservice {

// Where a broadcast stands: what the service delivered and dropped, and
// what the extension reports of its side.
struct BroadcastProgress {
  double elapsedSeconds = 0;
  SampleDelivery::Counts delivered;
  std::uint64_t framesDroppedByService = 0;
  RPBroadcastStatistics extension;
};

// One status line: elapsed time, frames, the rates over the last interval
// (`previous` is the progress one interval earlier), drops and bytes queued.
std::string statusLine(const BroadcastProgress& now, const BroadcastProgress& previous);
// The closing summary of a whole broadcast.
std::string summary(const BroadcastProgress& end);

}  // namespace platform::broadcastservice
