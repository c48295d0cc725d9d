#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "RTMPFluvio/Sources/RTMP/RTMPStatus.hpp"

namespace rtmpfluvio {

// The connection-level status codes, each with its level.
enum class RTMPConnectionCode {
  callBadVersion,
  callFailed,
  callProhibited,
  connectAppshutdown,
  connectClosed,
  connectFailed,
  connectIdleTimeOut,
  connectInvalidApp,
  connectNetworkChange,
  connectRejected,
  connectSuccess,
};

std::string_view rawValue(RTMPConnectionCode code) noexcept;
// "status" or "error".
std::string_view level(RTMPConnectionCode code) noexcept;
std::optional<RTMPConnectionCode> connectionCode(std::string_view rawValue) noexcept;
// A status this side makes: the code's text and level, no data; the
// description says why, when there is more to say than the code.
RTMPStatus makeStatus(RTMPConnectionCode code, std::string description = {});

}  // namespace rtmpfluvio
