#include "Platform/ReplayKit/Service/ScreenSource.hpp"

#include "Platform/CoreMedia/HostClock.hpp"

namespace platform::broadcastservice {

std::shared_ptr<CMSampleBuffer> makeFrameSampleBuffer(std::shared_ptr<CVPixelBuffer> picture,
                                                      const std::shared_ptr<const CMFormatDescription>& format,
                                                      std::uint64_t hostTime) {
  const CMSampleTimingInfo timing{CMTime::make(1, screenFramesPerSecond), HostClock::time(hostTime), CMTime::invalid};
  return CMSampleBuffer::makeReadyWithImageBuffer(std::move(picture), format, timing).value;
}

}  // namespace platform::broadcastservice
