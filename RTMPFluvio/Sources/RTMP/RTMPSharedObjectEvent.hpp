#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "RTMPFluvio/Sources/AMF/AMF0Serializer.hpp"
#include "RTMPFluvio/Sources/AMF/AMFValue.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPMessageType.hpp"

namespace rtmpfluvio {

enum class RTMPSharedObjectType : std::uint8_t {
  use = 1,
  release = 2,
  requestChange = 3,
  change = 4,
  success = 5,
  sendMessage = 6,
  status = 7,
  clear = 8,
  remove = 9,
  requestRemove = 10,
  useSuccess = 11,
  unknown = 255,
};

constexpr std::uint8_t rawValue(RTMPSharedObjectType type) noexcept { return static_cast<std::uint8_t>(type); }
// 0 and 12 to 254 name no type.
template <>
std::optional<RTMPSharedObjectType> fromRawValue<RTMPSharedObjectType>(std::uint8_t rawValue) noexcept;
std::ostream& operator<<(std::ostream& stream, RTMPSharedObjectType type);

// One event of a shared-object message: its type byte, the 32-bit length of
// what follows, then (with a name) the name's 16-bit count and bytes and the
// event's value.
struct RTMPSharedObjectEvent {
  RTMPSharedObjectType type = RTMPSharedObjectType::unknown;
  std::optional<std::string> name;
  std::optional<AMFValue> data;

  // Appends the event; without a name only the type and a zero length. An
  // absent value is written as null. Throws AMFSerializerError serialize for
  // a name over 65,535 bytes or a value AMF0 cannot carry.
  void serialize(AMF0Serializer& serializer) const;

  // Reads one event at the position and leaves the position at the end of
  // its declared length. An event of an unknown type is skipped: none. Throws
  // ByteArray::Error or AMFSerializerError when the event does not fit its
  // length or the payload; the data of a status event is a second text.
  static std::optional<RTMPSharedObjectEvent> decode(AMF0Serializer& serializer);

  bool operator==(const RTMPSharedObjectEvent&) const = default;
};

std::ostream& operator<<(std::ostream& stream, const RTMPSharedObjectEvent& event);

}  // namespace rtmpfluvio
