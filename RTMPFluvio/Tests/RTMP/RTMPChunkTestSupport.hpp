#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "RTMPFluvio/Sources/RTMP/RTMPChunkReader.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPMessage.hpp"

namespace rtmpfluvio::testing {

// A message of any type id with the given payload.
class RawMessage final : public RTMPMessage {
 public:
  RawMessage(RTMPMessageType type, std::uint32_t streamId, std::uint32_t timestamp, Bytes payload)
      : RTMPMessage(streamId, timestamp, std::move(payload)), type_(type) {}
  RTMPMessageType type() const noexcept override { return type_; }

 private:
  RTMPMessageType type_;
};

// What the reader handed out for one message.
struct ReadMessage {
  std::uint32_t chunkStreamId;
  RTMPChunkType chunkType;
  std::uint32_t timestamp;
  std::uint8_t typeId;
  std::uint32_t streamId;
  std::vector<std::uint8_t> payload;
  friend bool operator==(const ReadMessage&, const ReadMessage&) = default;
};

inline std::vector<ReadMessage> drain(RTMPChunkReader& reader) {
  std::vector<ReadMessage> messages;
  while (const auto message = reader.next()) {
    const auto& header = message->header;
    messages.push_back({message->chunkStreamId, message->chunkType, header.timestamp, header.messageTypeId,
                        header.messageStreamId, header.payload});
  }
  return messages;
}

// Feeds `bytes` in pieces of at most `piece` bytes.
inline std::vector<ReadMessage> readInPieces(std::span<const std::uint8_t> bytes, std::size_t piece,
                                             std::uint32_t chunkSize) {
  RTMPChunkReader reader;
  reader.setChunkSize(chunkSize);
  std::vector<ReadMessage> messages;
  for (std::size_t offset = 0; offset < bytes.size(); offset += piece) {
    reader.put(bytes.subspan(offset, std::min(piece, bytes.size() - offset)));
    for (auto& message : drain(reader)) messages.push_back(std::move(message));
  }
  return messages;
}

inline std::vector<std::uint8_t> patterned(std::size_t size, std::uint8_t seed = 1) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t index = 0; index < size; ++index) bytes[index] = static_cast<std::uint8_t>(index * 31 + seed);
  return bytes;
}

}  // namespace rtmpfluvio::testing
