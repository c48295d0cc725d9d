#pragma once

#include <cstdint>
#include <optional>

#include "RTMPFluvio/Sources/RTMP/RTMPChunkMessageHeader.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPMessage.hpp"

namespace rtmpfluvio {

// A protocol control message whose payload is one 32-bit number.
template <class Message, RTMPMessageType kType>
class RTMPUInt32ControlMessage : public RTMPMessage {
 public:
  RTMPMessageType type() const noexcept override { return kType; }

  // None for a payload shorter than four bytes; further bytes are ignored.
  static std::optional<Message> decode(const RTMPChunkMessageHeader& header);

 protected:
  RTMPUInt32ControlMessage(std::uint32_t streamId, std::uint32_t timestamp, std::uint32_t value);

  std::uint32_t value_;
};

class RTMPSetChunkSizeMessage final : public RTMPUInt32ControlMessage<RTMPSetChunkSizeMessage, RTMPMessageType::chunkSize> {
 public:
  RTMPSetChunkSizeMessage(std::uint32_t streamId, std::uint32_t timestamp, std::uint32_t size)
      : RTMPUInt32ControlMessage(streamId, timestamp, size) {}
  std::uint32_t size() const noexcept { return value_; }
};

class RTMPAbortMessge final : public RTMPUInt32ControlMessage<RTMPAbortMessge, RTMPMessageType::abort> {
 public:
  RTMPAbortMessge(std::uint32_t streamId, std::uint32_t timestamp, std::uint32_t chunkStreamId)
      : RTMPUInt32ControlMessage(streamId, timestamp, chunkStreamId) {}
  std::uint32_t chunkStreamId() const noexcept { return value_; }
};

class RTMPAcknowledgementMessage final
    : public RTMPUInt32ControlMessage<RTMPAcknowledgementMessage, RTMPMessageType::ack> {
 public:
  RTMPAcknowledgementMessage(std::uint32_t streamId, std::uint32_t timestamp, std::uint32_t sequence)
      : RTMPUInt32ControlMessage(streamId, timestamp, sequence) {}
  // Bytes received so far.
  std::uint32_t sequence() const noexcept { return value_; }
};

class RTMPWindowAcknowledgementSizeMessage final
    : public RTMPUInt32ControlMessage<RTMPWindowAcknowledgementSizeMessage, RTMPMessageType::windowAck> {
 public:
  RTMPWindowAcknowledgementSizeMessage(std::uint32_t streamId, std::uint32_t timestamp, std::uint32_t size)
      : RTMPUInt32ControlMessage(streamId, timestamp, size) {}
  std::uint32_t size() const noexcept { return value_; }
};

class RTMPSetPeerBandwidthMessage final : public RTMPMessage {
 public:
  enum class Limit : std::uint8_t { hard = 0, soft = 1, dynamic = 2, unknown = 255 };

  RTMPSetPeerBandwidthMessage(std::uint32_t streamId, std::uint32_t timestamp, std::uint32_t size, Limit limit);

  RTMPMessageType type() const noexcept override { return RTMPMessageType::bandwidth; }
  std::uint32_t size() const noexcept { return size_; }
  Limit limit() const noexcept { return limit_; }

  // None for a payload shorter than five bytes. A limit byte other than 0, 1
  // or 2 reads as unknown.
  static std::optional<RTMPSetPeerBandwidthMessage> decode(const RTMPChunkMessageHeader& header);

 private:
  std::uint32_t size_;
  Limit limit_;
};

constexpr std::uint8_t rawValue(RTMPSetPeerBandwidthMessage::Limit limit) noexcept {
  return static_cast<std::uint8_t>(limit);
}
template <>
std::optional<RTMPSetPeerBandwidthMessage::Limit> fromRawValue<RTMPSetPeerBandwidthMessage::Limit>(
    std::uint8_t rawValue) noexcept;

}  // namespace rtmpfluvio
