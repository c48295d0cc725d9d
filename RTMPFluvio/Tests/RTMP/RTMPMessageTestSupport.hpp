#pragma once

#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

#include "RTMPFluvio/Sources/RTMP/RTMPChunkMessageHeader.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPReceivedMessage.hpp"

namespace rtmpfluvio::testing {

inline RTMPChunkMessageHeader receivedHeader(std::uint8_t typeId, std::vector<std::uint8_t> payload,
                                             std::uint32_t streamId = 1, std::uint32_t timestamp = 1000) {
  RTMPChunkMessageHeader header;
  header.messageTypeId = typeId;
  header.messageStreamId = streamId;
  header.timestamp = timestamp;
  header.messageLength = payload.size();
  header.position = payload.size();
  header.payload = std::move(payload);
  return header;
}

// The received message decoded as `Message`, or none when it is not one.
template <class Message>
std::optional<Message> decodedAs(std::uint8_t typeId, std::vector<std::uint8_t> payload) {
  auto message = decodeMessage(receivedHeader(typeId, std::move(payload)));
  if (!message || !std::holds_alternative<Message>(*message)) return std::nullopt;
  return std::get<Message>(std::move(*message));
}

}  // namespace rtmpfluvio::testing
