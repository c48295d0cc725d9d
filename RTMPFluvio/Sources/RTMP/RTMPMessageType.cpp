#include "RTMPFluvio/Sources/RTMP/RTMPMessageType.hpp"

namespace rtmpfluvio {

template <>
std::optional<RTMPMessageType> fromRawValue<RTMPMessageType>(std::uint8_t rawValue) noexcept {
  switch (rawValue) {
    case 1: case 2: case 3: case 4: case 5: case 6: case 8: case 9:
    case 15: case 16: case 17: case 18: case 19: case 20: case 22:
      return static_cast<RTMPMessageType>(rawValue);
    default:
      return std::nullopt;
  }
}

std::ostream& operator<<(std::ostream& stream, RTMPMessageType type) {
  switch (type) {
    case RTMPMessageType::chunkSize: return stream << "chunkSize";
    case RTMPMessageType::abort: return stream << "abort";
    case RTMPMessageType::ack: return stream << "ack";
    case RTMPMessageType::user: return stream << "user";
    case RTMPMessageType::windowAck: return stream << "windowAck";
    case RTMPMessageType::bandwidth: return stream << "bandwidth";
    case RTMPMessageType::audio: return stream << "audio";
    case RTMPMessageType::video: return stream << "video";
    case RTMPMessageType::amf3Data: return stream << "amf3Data";
    case RTMPMessageType::amf3Shared: return stream << "amf3Shared";
    case RTMPMessageType::amf3Command: return stream << "amf3Command";
    case RTMPMessageType::amf0Data: return stream << "amf0Data";
    case RTMPMessageType::amf0Shared: return stream << "amf0Shared";
    case RTMPMessageType::amf0Command: return stream << "amf0Command";
    case RTMPMessageType::aggregate: return stream << "aggregate";
  }
  return stream << static_cast<int>(rawValue(type));
}

template <>
std::optional<RTMPObjectEncoding> fromRawValue<RTMPObjectEncoding>(std::uint8_t rawValue) noexcept {
  if (rawValue != 0 && rawValue != 3) return std::nullopt;
  return static_cast<RTMPObjectEncoding>(rawValue);
}

std::ostream& operator<<(std::ostream& stream, RTMPObjectEncoding encoding) {
  return stream << (encoding == RTMPObjectEncoding::amf0 ? "amf0" : "amf3");
}

}  // namespace rtmpfluvio
