#include "RTMPFluvio/Sources/RTMP/RTMPStreamInfo.hpp"

namespace rtmpfluvio {

std::string RTMPStreamInfo::debugDescription() const {
  return "RTMPStreamInfo(byteCount: " + std::to_string(byteCount) +
         ", resourceName: " + (resourceName ? "\"" + *resourceName + "\"" : std::string("nil")) +
         ", currentBytesPerSecond: " + std::to_string(currentBytesPerSecond) +
         ", previousByteCount: " + std::to_string(previousByteCount) + ")";
}

}  // namespace rtmpfluvio
