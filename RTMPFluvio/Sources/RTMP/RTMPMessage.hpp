#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "RTMPFluvio/Sources/RTMP/RTMPMessageType.hpp"

namespace rtmpfluvio {

// What every RTMP message offers the chunk layer: its type, message stream,
// timestamp and payload bytes. Each message type computes its payload when it
// is made, so reading it never fails and never copies.
class RTMPMessage {
 public:
  using Bytes = std::vector<std::uint8_t>;

  virtual ~RTMPMessage() = default;

  virtual RTMPMessageType type() const noexcept = 0;
  std::uint32_t streamId() const noexcept { return streamId_; }
  // Milliseconds, as the connection counts them.
  std::uint32_t timestamp() const noexcept { return timestamp_; }
  const Bytes& payload() const noexcept { return payload_; }

 protected:
  RTMPMessage(std::uint32_t streamId, std::uint32_t timestamp, Bytes payload) noexcept
      : streamId_(streamId), timestamp_(timestamp), payload_(std::move(payload)) {}
  RTMPMessage(const RTMPMessage&) = default;
  RTMPMessage(RTMPMessage&&) noexcept = default;
  RTMPMessage& operator=(const RTMPMessage&) = default;
  RTMPMessage& operator=(RTMPMessage&&) noexcept = default;

  void setPayload(Bytes payload) noexcept { payload_ = std::move(payload); }

 private:
  std::uint32_t streamId_;
  std::uint32_t timestamp_;
  Bytes payload_;
};

}  // namespace rtmpfluvio
