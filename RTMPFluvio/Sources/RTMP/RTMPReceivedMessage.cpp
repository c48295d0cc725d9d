#include "RTMPFluvio/Sources/RTMP/RTMPReceivedMessage.hpp"

namespace rtmpfluvio {
namespace {

template <class Message>
std::optional<RTMPReceivedMessage> received(std::optional<Message> message) {
  if (!message) return std::nullopt;
  return RTMPReceivedMessage(std::move(*message));
}

}  // namespace

std::optional<RTMPReceivedMessage> decodeMessage(const RTMPChunkMessageHeader& header) {
  const auto type = fromRawValue<RTMPMessageType>(header.messageTypeId);
  if (!type) return std::nullopt;
  const std::uint32_t streamId = header.messageStreamId;
  const std::uint32_t timestamp = header.timestamp;
  switch (*type) {
    case RTMPMessageType::chunkSize: return received(RTMPSetChunkSizeMessage::decode(header));
    case RTMPMessageType::abort: return received(RTMPAbortMessge::decode(header));
    case RTMPMessageType::ack: return received(RTMPAcknowledgementMessage::decode(header));
    case RTMPMessageType::user: return received(RTMPUserControlMessage::decode(header));
    case RTMPMessageType::windowAck: return received(RTMPWindowAcknowledgementSizeMessage::decode(header));
    case RTMPMessageType::bandwidth: return received(RTMPSetPeerBandwidthMessage::decode(header));
    case RTMPMessageType::audio: return RTMPAudioMessage(streamId, timestamp, header.payload);
    case RTMPMessageType::video: return RTMPVideoMessage(streamId, timestamp, header.payload);
    case RTMPMessageType::aggregate: return RTMPAggregateMessage(streamId, timestamp, header.payload);
    case RTMPMessageType::amf3Data: return received(RTMPDataMessage::decode(header, RTMPObjectEncoding::amf3));
    case RTMPMessageType::amf0Data: return received(RTMPDataMessage::decode(header, RTMPObjectEncoding::amf0));
    case RTMPMessageType::amf3Shared:
      return received(RTMPSharedObjectMessage::decode(header, RTMPObjectEncoding::amf3));
    case RTMPMessageType::amf0Shared:
      return received(RTMPSharedObjectMessage::decode(header, RTMPObjectEncoding::amf0));
    case RTMPMessageType::amf3Command: return received(RTMPCommandMessage::decode(header, RTMPObjectEncoding::amf3));
    case RTMPMessageType::amf0Command: return received(RTMPCommandMessage::decode(header, RTMPObjectEncoding::amf0));
  }
  return std::nullopt;
}

const RTMPMessage& asMessage(const RTMPReceivedMessage& message) noexcept {
  return std::visit([](const auto& typed) -> const RTMPMessage& { return typed; }, message);
}

}  // namespace rtmpfluvio
