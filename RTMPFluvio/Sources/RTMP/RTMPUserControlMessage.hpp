#pragma once

#include <cstdint>
#include <optional>

#include "RTMPFluvio/Sources/RTMP/RTMPChunkMessageHeader.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPMessage.hpp"

namespace rtmpfluvio {

// A user control event: its type as 16 bits, then one 32-bit value.
class RTMPUserControlMessage final : public RTMPMessage {
 public:
  enum class Event : std::uint8_t {
    streamBegin = 0,
    streamEof = 1,
    streamDry = 2,
    setBuffer = 3,
    recorded = 4,
    ping = 6,
    pong = 7,
    bufferEmpty = 0x1F,
    bufferFull = 0x20,
    unknown = 0xFF,
  };

  RTMPUserControlMessage(std::uint32_t streamId, std::uint32_t timestamp, Event event, std::int32_t value);

  RTMPMessageType type() const noexcept override { return RTMPMessageType::user; }
  Event event() const noexcept { return event_; }
  std::int32_t value() const noexcept { return value_; }

  // None for a payload shorter than six bytes. The event is named by the low
  // byte of its type; one that names no event reads as unknown.
  static std::optional<RTMPUserControlMessage> decode(const RTMPChunkMessageHeader& header);

 private:
  Event event_;
  std::int32_t value_;
};

constexpr std::uint8_t rawValue(RTMPUserControlMessage::Event event) noexcept { return static_cast<std::uint8_t>(event); }
// 5 and every value not listed name no event.
template <>
std::optional<RTMPUserControlMessage::Event> fromRawValue<RTMPUserControlMessage::Event>(std::uint8_t rawValue) noexcept;

}  // namespace rtmpfluvio
