#pragma once

#include <cstdint>
#include <optional>
#include <ostream>

namespace rtmpfluvio {

enum class RTMPMessageType : std::uint8_t {
  chunkSize = 1,
  abort = 2,
  ack = 3,
  user = 4,
  windowAck = 5,
  bandwidth = 6,
  audio = 8,
  video = 9,
  amf3Data = 15,
  amf3Shared = 16,
  amf3Command = 17,
  amf0Data = 18,
  amf0Shared = 19,
  amf0Command = 20,
  aggregate = 22,
};

constexpr std::uint8_t rawValue(RTMPMessageType type) noexcept { return static_cast<std::uint8_t>(type); }

template <class Enumeration>
std::optional<Enumeration> fromRawValue(std::uint8_t rawValue) noexcept;

// 0, 7, 10 to 14, 21 and everything above 22 name no type.
template <>
std::optional<RTMPMessageType> fromRawValue<RTMPMessageType>(std::uint8_t rawValue) noexcept;
std::ostream& operator<<(std::ostream& stream, RTMPMessageType type);

// How the AMF values of command, data and shared-object messages are encoded;
// it selects the message type.
enum class RTMPObjectEncoding : std::uint8_t {
  amf0 = 0,
  amf3 = 3,
};

constexpr std::uint8_t rawValue(RTMPObjectEncoding encoding) noexcept { return static_cast<std::uint8_t>(encoding); }
template <>
std::optional<RTMPObjectEncoding> fromRawValue<RTMPObjectEncoding>(std::uint8_t rawValue) noexcept;
std::ostream& operator<<(std::ostream& stream, RTMPObjectEncoding encoding);

}  // namespace rtmpfluvio
