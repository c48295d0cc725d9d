#include "RTMPFluvio/Sources/RTMP/RTMPChunkType.hpp"

namespace rtmpfluvio {

std::ostream& operator<<(std::ostream& stream, RTMPChunkType type) {
  return stream << "type " << static_cast<int>(type);
}

}  // namespace rtmpfluvio
