#include "RTMPFluvio/Sources/RTMP/RTMPResponse.hpp"

namespace rtmpfluvio {

RTMPResponse::RTMPResponse(const RTMPCommandMessage& message) : arguments_(message.arguments()) {
  if (!arguments_.empty()) status_ = RTMPStatus::make(arguments_.front().as<AMFObject>());
}

}  // namespace rtmpfluvio
