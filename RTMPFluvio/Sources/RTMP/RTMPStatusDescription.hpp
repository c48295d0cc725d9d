#pragma once

#include <string>

#include "RTMPFluvio/Sources/RTMP/RTMPStatus.hpp"

namespace rtmpfluvio {

// The server's own words for a refusal, for an error's text: the code, then
// the description when there is one ("NetStream.Publish.BadName: Already
// publishing").
inline std::string describeRefusal(const RTMPStatus& status) {
  return status.description().empty() ? status.code() : status.code() + ": " + status.description();
}

}  // namespace rtmpfluvio
