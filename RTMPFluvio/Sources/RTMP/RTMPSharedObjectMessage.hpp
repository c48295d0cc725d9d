#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "RTMPFluvio/Sources/RTMP/RTMPChunkMessageHeader.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPMessage.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPSharedObjectEvent.hpp"

namespace rtmpfluvio {

// Changes to a remote shared object: its name, version and flags, then its
// events. AMF3 only adds one 0x00 byte in front.
class RTMPSharedObjectMessage final : public RTMPMessage {
 public:
  using Flags = std::array<std::uint8_t, 8>;

  // The flags a sender writes: byte 3 is 2 for a persistent object.
  static constexpr Flags makeFlags(bool isPersistent) noexcept {
    return {0, 0, 0, static_cast<std::uint8_t>(isPersistent ? 2 : 0), 0, 0, 0, 0};
  }

  // Throws AMFSerializerError serialize for a name over 65,535 bytes or an
  // event that cannot be written.
  RTMPSharedObjectMessage(std::uint32_t streamId, std::uint32_t timestamp, RTMPObjectEncoding objectEncoding,
                          std::string sharedObjectName, std::uint32_t currentVersion, Flags flags,
                          std::vector<RTMPSharedObjectEvent> events);

  RTMPMessageType type() const noexcept override {
    return objectEncoding_ == RTMPObjectEncoding::amf3 ? RTMPMessageType::amf3Shared : RTMPMessageType::amf0Shared;
  }
  RTMPObjectEncoding objectEncoding() const noexcept { return objectEncoding_; }
  const std::string& sharedObjectName() const noexcept { return sharedObjectName_; }
  std::uint32_t currentVersion() const noexcept { return currentVersion_; }
  const Flags& flags() const noexcept { return flags_; }
  // Events of unknown types are skipped when reading.
  const std::vector<RTMPSharedObjectEvent>& events() const noexcept { return events_; }

  // None, logged, when any part of the payload cannot be read.
  static std::optional<RTMPSharedObjectMessage> decode(const RTMPChunkMessageHeader& header,
                                                       RTMPObjectEncoding objectEncoding);

 private:
  RTMPSharedObjectMessage(std::uint32_t streamId, std::uint32_t timestamp, Bytes payload,
                          RTMPObjectEncoding objectEncoding, std::string sharedObjectName,
                          std::uint32_t currentVersion, Flags flags,
                          std::vector<RTMPSharedObjectEvent> events) noexcept;

  RTMPObjectEncoding objectEncoding_;
  std::string sharedObjectName_;
  std::uint32_t currentVersion_;
  Flags flags_;
  std::vector<RTMPSharedObjectEvent> events_;
};

}  // namespace rtmpfluvio
