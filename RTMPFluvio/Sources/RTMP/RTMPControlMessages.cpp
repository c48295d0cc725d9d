#include "RTMPFluvio/Sources/RTMP/RTMPControlMessages.hpp"

#include "RTMPFluvio/Sources/RTMP/BigEndian.hpp"

namespace rtmpfluvio {
namespace {

RTMPMessage::Bytes encodeUInt32(std::uint32_t value) {
  RTMPMessage::Bytes bytes;
  bytes.reserve(5);
  appendBigEndian(bytes, value, 4);
  return bytes;
}

}  // namespace

template <class Message, RTMPMessageType kType>
RTMPUInt32ControlMessage<Message, kType>::RTMPUInt32ControlMessage(std::uint32_t streamId, std::uint32_t timestamp,
                                                                   std::uint32_t value)
    : RTMPMessage(streamId, timestamp, encodeUInt32(value)), value_(value) {}

template <class Message, RTMPMessageType kType>
std::optional<Message> RTMPUInt32ControlMessage<Message, kType>::decode(const RTMPChunkMessageHeader& header) {
  if (header.payload.size() < 4) return std::nullopt;
  return Message(header.messageStreamId, header.timestamp, readBigEndian(header.payload, 4));
}

template class RTMPUInt32ControlMessage<RTMPSetChunkSizeMessage, RTMPMessageType::chunkSize>;
template class RTMPUInt32ControlMessage<RTMPAbortMessge, RTMPMessageType::abort>;
template class RTMPUInt32ControlMessage<RTMPAcknowledgementMessage, RTMPMessageType::ack>;
template class RTMPUInt32ControlMessage<RTMPWindowAcknowledgementSizeMessage, RTMPMessageType::windowAck>;

template <>
std::optional<RTMPSetPeerBandwidthMessage::Limit> fromRawValue<RTMPSetPeerBandwidthMessage::Limit>(
    std::uint8_t rawValue) noexcept {
  if (rawValue > 2 && rawValue != 255) return std::nullopt;
  return static_cast<RTMPSetPeerBandwidthMessage::Limit>(rawValue);
}

RTMPSetPeerBandwidthMessage::RTMPSetPeerBandwidthMessage(std::uint32_t streamId, std::uint32_t timestamp,
                                                         std::uint32_t size, Limit limit)
    : RTMPMessage(streamId, timestamp, [&] {
        Bytes bytes = encodeUInt32(size);
        bytes.push_back(rawValue(limit));
        return bytes;
      }()),
      size_(size),
      limit_(limit) {}

std::optional<RTMPSetPeerBandwidthMessage> RTMPSetPeerBandwidthMessage::decode(const RTMPChunkMessageHeader& header) {
  if (header.payload.size() < 5) return std::nullopt;
  const Limit limit = fromRawValue<Limit>(header.payload[4]).value_or(Limit::unknown);
  return RTMPSetPeerBandwidthMessage(header.messageStreamId, header.timestamp, readBigEndian(header.payload, 4), limit);
}

}  // namespace rtmpfluvio
