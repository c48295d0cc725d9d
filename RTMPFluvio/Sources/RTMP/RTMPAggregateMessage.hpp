#pragma once

#include <cstdint>

#include "RTMPFluvio/Sources/RTMP/RTMPMessage.hpp"

namespace rtmpfluvio {

// Several messages in one; the bytes are kept as received.
class RTMPAggregateMessage final : public RTMPMessage {
 public:
  RTMPAggregateMessage(std::uint32_t streamId, std::uint32_t timestamp, Bytes payload) noexcept
      : RTMPMessage(streamId, timestamp, std::move(payload)) {}

  RTMPMessageType type() const noexcept override { return RTMPMessageType::aggregate; }
};

}  // namespace rtmpfluvio
