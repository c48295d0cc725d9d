#include "RTMPFluvio/Sources/RTMP/RTMPSharedObjectEvent.hpp"

#include <limits>
#include <span>

namespace rtmpfluvio {

template <>
std::optional<RTMPSharedObjectType> fromRawValue<RTMPSharedObjectType>(std::uint8_t rawValue) noexcept {
  if ((rawValue == 0 || rawValue > 11) && rawValue != 255) return std::nullopt;
  return static_cast<RTMPSharedObjectType>(rawValue);
}

std::ostream& operator<<(std::ostream& stream, RTMPSharedObjectType type) {
  switch (type) {
    case RTMPSharedObjectType::use: return stream << "use";
    case RTMPSharedObjectType::release: return stream << "release";
    case RTMPSharedObjectType::requestChange: return stream << "requestChange";
    case RTMPSharedObjectType::change: return stream << "change";
    case RTMPSharedObjectType::success: return stream << "success";
    case RTMPSharedObjectType::sendMessage: return stream << "sendMessage";
    case RTMPSharedObjectType::status: return stream << "status";
    case RTMPSharedObjectType::clear: return stream << "clear";
    case RTMPSharedObjectType::remove: return stream << "remove";
    case RTMPSharedObjectType::requestRemove: return stream << "requestRemove";
    case RTMPSharedObjectType::useSuccess: return stream << "useSuccess";
    case RTMPSharedObjectType::unknown: return stream << "unknown";
  }
  return stream << static_cast<int>(rawValue(type));
}

void RTMPSharedObjectEvent::serialize(AMF0Serializer& serializer) const {
  serializer.writeUInt8(rawValue(type));
  const std::size_t lengthPosition = serializer.position();
  serializer.writeUInt32(0);
  if (!name) return;
  const std::size_t bodyStart = serializer.position();
  serializer.serializeUTF8(*name, false);
  serializer.serialize(data.value_or(AMFValue()));
  const std::size_t bodyEnd = serializer.position();
  if (bodyEnd - bodyStart > std::numeric_limits<std::uint32_t>::max()) {
    throw AMFSerializerError(AMFSerializerError::Case::serialize);
  }
  serializer.setPosition(lengthPosition);
  serializer.writeUInt32(static_cast<std::uint32_t>(bodyEnd - bodyStart));
  serializer.setPosition(bodyEnd);
}

std::optional<RTMPSharedObjectEvent> RTMPSharedObjectEvent::decode(AMF0Serializer& serializer) {
  if (serializer.bytesAvailable() < 1) return std::nullopt;
  const std::optional<RTMPSharedObjectType> type = fromRawValue<RTMPSharedObjectType>(serializer.readUInt8());
  const std::uint32_t length = serializer.readUInt32();
  const std::size_t bodyStart = serializer.position();
  if (static_cast<std::uint64_t>(serializer.bytesAvailable()) < length) throw ByteArray::Error(ByteArray::Error::Case::eof);
  serializer.setPosition(bodyStart + length);
  if (!type) return std::nullopt;

  RTMPSharedObjectEvent event{*type, std::nullopt, std::nullopt};
  if (length == 0) return event;
  // The body is read on its own, so nothing in it can reach past its length.
  AMF0Serializer body(std::span(serializer.data()).subspan(bodyStart, length));
  event.name = body.readUTF8();
  if (event.type == RTMPSharedObjectType::status) {
    event.data = AMFValue(body.readUTF8());
  } else if (body.bytesAvailable() > 0) {
    event.data = body.deserialize();
  }
  return event;
}

std::ostream& operator<<(std::ostream& stream, const RTMPSharedObjectEvent& event) {
  stream << "RTMPSharedObjectEvent{type: " << event.type << ", name: " << event.name.value_or("nil") << ", data: ";
  if (event.data) return stream << *event.data << "}";
  return stream << "nil}";
}

}  // namespace rtmpfluvio
