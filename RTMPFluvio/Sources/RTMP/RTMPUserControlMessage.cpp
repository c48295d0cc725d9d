#include "RTMPFluvio/Sources/RTMP/RTMPUserControlMessage.hpp"

#include "RTMPFluvio/Sources/RTMP/BigEndian.hpp"

namespace rtmpfluvio {

template <>
std::optional<RTMPUserControlMessage::Event> fromRawValue<RTMPUserControlMessage::Event>(std::uint8_t rawValue) noexcept {
  switch (rawValue) {
    case 0: case 1: case 2: case 3: case 4: case 6: case 7: case 0x1F: case 0x20: case 0xFF:
      return static_cast<RTMPUserControlMessage::Event>(rawValue);
    default:
      return std::nullopt;
  }
}

RTMPUserControlMessage::RTMPUserControlMessage(std::uint32_t streamId, std::uint32_t timestamp, Event event,
                                               std::int32_t value)
    : RTMPMessage(streamId, timestamp, [&] {
        Bytes bytes{0x00, rawValue(event)};
        appendBigEndian(bytes, static_cast<std::uint32_t>(value), 4);
        return bytes;
      }()),
      event_(event),
      value_(value) {}

std::optional<RTMPUserControlMessage> RTMPUserControlMessage::decode(const RTMPChunkMessageHeader& header) {
  const auto& payload = header.payload;
  if (payload.size() < 6) return std::nullopt;
  const Event event = fromRawValue<Event>(payload[1]).value_or(Event::unknown);
  const auto value = static_cast<std::int32_t>(readBigEndian(std::span(payload).subspan(2), 4));
  return RTMPUserControlMessage(header.messageStreamId, header.timestamp, event, value);
}

}  // namespace rtmpfluvio
