#include "Fluvio/Sources/Util/FrameTracker.hpp"

namespace fluvio {

void FrameTracker::update(const platform::CMTime& presentationTimeStamp) {
  count += 1;
  constexpr platform::CMTime window{1, 1, platform::CMTime::valid};
  if (presentationTimeStamp.isValid() && presentationTimeStamp - rotated >= window) {
    frameRate = count;
    count = 0;
    rotated = presentationTimeStamp;
  }
}

}  // namespace fluvio
