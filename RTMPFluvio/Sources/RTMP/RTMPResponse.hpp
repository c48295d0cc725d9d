#pragma once

#include <optional>

#include "RTMPFluvio/Sources/AMF/AMFValue.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPCommandMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStatus.hpp"

namespace rtmpfluvio {

// The reply to one command: its arguments in wire order, and the status the
// first of them holds when it is an information object.
class RTMPResponse {
 public:
  explicit RTMPResponse(const RTMPCommandMessage& message);
  RTMPResponse(std::optional<RTMPStatus> status, AMFList arguments)
      : status_(std::move(status)), arguments_(std::move(arguments)) {}

  const std::optional<RTMPStatus>& status() const noexcept { return status_; }
  const AMFList& arguments() const noexcept { return arguments_; }

  friend bool operator==(const RTMPResponse&, const RTMPResponse&) = default;

 private:
  std::optional<RTMPStatus> status_;
  AMFList arguments_;
};

}  // namespace rtmpfluvio
