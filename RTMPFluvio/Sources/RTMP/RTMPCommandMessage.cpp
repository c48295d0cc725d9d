#include "RTMPFluvio/Sources/RTMP/RTMPCommandMessage.hpp"

#include "RTMPFluvio/Sources/AMF/AMF0Serializer.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPAMFPayloadReader.hpp"

namespace rtmpfluvio {
namespace {

// Room for a usual command or data body, so that building one seldom grows it.
constexpr std::size_t kPayloadCapacity = 512;
constexpr std::string_view kDecoder = "RTMPCommandMessage";

RTMPMessage::Bytes encodePayload(RTMPObjectEncoding objectEncoding, const std::string& commandName,
                                 std::int64_t transactionId, const std::optional<AMFObject>& commandObject,
                                 const AMFList& arguments) {
  AMF0Serializer serializer;
  serializer.reserve(kPayloadCapacity);
  if (objectEncoding == RTMPObjectEncoding::amf3) serializer.writeUInt8(0x00);
  serializer.serializeString(commandName);
  serializer.serialize(static_cast<double>(transactionId));
  if (commandObject) {
    serializer.serialize(*commandObject);
  } else {
    serializer.serialize(AMFNull{});
  }
  serializer.serializeEach(arguments);
  return serializer.takeData();
}

}  // namespace

RTMPCommandMessage::RTMPCommandMessage(std::uint32_t streamId, std::uint32_t timestamp,
                                       RTMPObjectEncoding objectEncoding, std::string commandName,
                                       std::int64_t transactionId, std::optional<AMFObject> commandObject,
                                       AMFList arguments)
    : RTMPMessage(streamId, timestamp,
                  encodePayload(objectEncoding, commandName, transactionId, commandObject, arguments)),
      objectEncoding_(objectEncoding),
      commandName_(std::move(commandName)),
      transactionId_(transactionId),
      commandObject_(std::move(commandObject)),
      arguments_(std::move(arguments)) {}

RTMPCommandMessage::RTMPCommandMessage(std::uint32_t streamId, std::uint32_t timestamp, Bytes payload,
                                       RTMPObjectEncoding objectEncoding, std::string commandName,
                                       std::int64_t transactionId, std::optional<AMFObject> commandObject,
                                       AMFList arguments) noexcept
    : RTMPMessage(streamId, timestamp, std::move(payload)),
      objectEncoding_(objectEncoding),
      commandName_(std::move(commandName)),
      transactionId_(transactionId),
      commandObject_(std::move(commandObject)),
      arguments_(std::move(arguments)) {}

std::optional<RTMPCommandMessage> RTMPCommandMessage::decode(const RTMPChunkMessageHeader& header,
                                                             RTMPObjectEncoding objectEncoding) {
  return amfpayload::decode<RTMPCommandMessage>(header, kDecoder, [&](AMF0Serializer& serializer) {
    if (objectEncoding == RTMPObjectEncoding::amf3) serializer.setPosition(1);
    std::string commandName = amfpayload::readName(serializer);
    const std::int64_t transactionId = serializer.deserializeInt();
    AMFObject commandObject = serializer.deserializeObject();
    AMFList arguments = amfpayload::readArguments(serializer, kDecoder);
    return RTMPCommandMessage(header.messageStreamId, header.timestamp, serializer.takeData(), objectEncoding,
                              std::move(commandName), transactionId, std::move(commandObject), std::move(arguments));
  });
}

}  // namespace rtmpfluvio
