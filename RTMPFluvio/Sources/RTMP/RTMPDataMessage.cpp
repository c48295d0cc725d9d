#include "RTMPFluvio/Sources/RTMP/RTMPDataMessage.hpp"

#include "RTMPFluvio/Sources/AMF/AMF0Serializer.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPAMFPayloadReader.hpp"

namespace rtmpfluvio {
namespace {

// Room for a usual command or data body, so that building one seldom grows it.
constexpr std::size_t kPayloadCapacity = 512;
constexpr std::string_view kDecoder = "RTMPDataMessage";

RTMPMessage::Bytes encodePayload(const std::string& handlerName, const AMFList& arguments) {
  AMF0Serializer serializer;
  serializer.reserve(kPayloadCapacity);
  serializer.serializeString(handlerName);
  serializer.serializeEach(arguments);
  return serializer.takeData();
}

}  // namespace

RTMPDataMessage::RTMPDataMessage(std::uint32_t streamId, std::uint32_t timestamp, RTMPObjectEncoding objectEncoding,
                                 std::string handlerName, AMFList arguments)
    : RTMPMessage(streamId, timestamp, encodePayload(handlerName, arguments)),
      objectEncoding_(objectEncoding),
      handlerName_(std::move(handlerName)),
      arguments_(std::move(arguments)) {}

RTMPDataMessage::RTMPDataMessage(std::uint32_t streamId, std::uint32_t timestamp, Bytes payload,
                                 RTMPObjectEncoding objectEncoding, std::string handlerName,
                                 AMFList arguments) noexcept
    : RTMPMessage(streamId, timestamp, std::move(payload)),
      objectEncoding_(objectEncoding),
      handlerName_(std::move(handlerName)),
      arguments_(std::move(arguments)) {}

std::optional<RTMPDataMessage> RTMPDataMessage::decode(const RTMPChunkMessageHeader& header,
                                                       RTMPObjectEncoding objectEncoding) {
  return amfpayload::decode<RTMPDataMessage>(header, kDecoder, [&](AMF0Serializer& serializer) {
    std::string handlerName = amfpayload::readName(serializer);
    AMFList arguments = amfpayload::readArguments(serializer, kDecoder);
    return RTMPDataMessage(header.messageStreamId, header.timestamp, serializer.takeData(), objectEncoding,
                           std::move(handlerName), std::move(arguments));
  });
}

}  // namespace rtmpfluvio
