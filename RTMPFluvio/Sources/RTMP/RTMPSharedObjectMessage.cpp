#include "RTMPFluvio/Sources/RTMP/RTMPSharedObjectMessage.hpp"

#include <algorithm>

#include "RTMPFluvio/Sources/RTMP/RTMPAMFPayloadReader.hpp"

namespace rtmpfluvio {
namespace {

constexpr std::string_view kDecoder = "RTMPSharedObjectMessage";

RTMPMessage::Bytes encodePayload(RTMPObjectEncoding objectEncoding, const std::string& sharedObjectName,
                                 std::uint32_t currentVersion, const RTMPSharedObjectMessage::Flags& flags,
                                 const std::vector<RTMPSharedObjectEvent>& events) {
  AMF0Serializer serializer;
  if (objectEncoding == RTMPObjectEncoding::amf3) serializer.writeUInt8(0x00);
  serializer.serializeUTF8(sharedObjectName, false);
  serializer.writeUInt32(currentVersion);
  serializer.writeBytes(flags);
  for (const RTMPSharedObjectEvent& event : events) event.serialize(serializer);
  return serializer.data();
}

}  // namespace

RTMPSharedObjectMessage::RTMPSharedObjectMessage(std::uint32_t streamId, std::uint32_t timestamp,
                                                 RTMPObjectEncoding objectEncoding, std::string sharedObjectName,
                                                 std::uint32_t currentVersion, Flags flags,
                                                 std::vector<RTMPSharedObjectEvent> events)
    : RTMPMessage(streamId, timestamp, encodePayload(objectEncoding, sharedObjectName, currentVersion, flags, events)),
      objectEncoding_(objectEncoding),
      sharedObjectName_(std::move(sharedObjectName)),
      currentVersion_(currentVersion),
      flags_(flags),
      events_(std::move(events)) {}

RTMPSharedObjectMessage::RTMPSharedObjectMessage(std::uint32_t streamId, std::uint32_t timestamp, Bytes payload,
                                                 RTMPObjectEncoding objectEncoding, std::string sharedObjectName,
                                                 std::uint32_t currentVersion, Flags flags,
                                                 std::vector<RTMPSharedObjectEvent> events) noexcept
    : RTMPMessage(streamId, timestamp, std::move(payload)),
      objectEncoding_(objectEncoding),
      sharedObjectName_(std::move(sharedObjectName)),
      currentVersion_(currentVersion),
      flags_(flags),
      events_(std::move(events)) {}

std::optional<RTMPSharedObjectMessage> RTMPSharedObjectMessage::decode(const RTMPChunkMessageHeader& header,
                                                                       RTMPObjectEncoding objectEncoding) {
  return amfpayload::decode<RTMPSharedObjectMessage>(header, kDecoder, [&](AMF0Serializer& serializer) {
    if (objectEncoding == RTMPObjectEncoding::amf3) serializer.setPosition(1);
    std::string sharedObjectName = serializer.readUTF8();
    const std::uint32_t currentVersion = serializer.readUInt32();
    Flags flags;
    const auto flagBytes = serializer.readBytes(flags.size());
    std::copy(flagBytes.begin(), flagBytes.end(), flags.begin());
    std::vector<RTMPSharedObjectEvent> events;
    while (serializer.bytesAvailable() > 0) {
      if (auto event = RTMPSharedObjectEvent::decode(serializer)) events.push_back(std::move(*event));
    }
    return RTMPSharedObjectMessage(header.messageStreamId, header.timestamp, header.payload, objectEncoding,
                                   std::move(sharedObjectName), currentVersion, flags, std::move(events));
  });
}

}  // namespace rtmpfluvio
