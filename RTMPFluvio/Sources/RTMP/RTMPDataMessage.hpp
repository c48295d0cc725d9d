#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "RTMPFluvio/Sources/AMF/AMFValue.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkMessageHeader.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPMessage.hpp"

namespace rtmpfluvio {

// Metadata or another handler call without reply. Its values travel in AMF0
// with no leading byte; the object encoding only selects the message type.
class RTMPDataMessage final : public RTMPMessage {
 public:
  // Throws AMFSerializerError serialize for a value AMF0 cannot carry.
  RTMPDataMessage(std::uint32_t streamId, std::uint32_t timestamp, RTMPObjectEncoding objectEncoding,
                  std::string handlerName, AMFList arguments);

  RTMPMessageType type() const noexcept override {
    return objectEncoding_ == RTMPObjectEncoding::amf3 ? RTMPMessageType::amf3Data : RTMPMessageType::amf0Data;
  }
  RTMPObjectEncoding objectEncoding() const noexcept { return objectEncoding_; }
  const std::string& handlerName() const noexcept { return handlerName_; }
  const AMFList& arguments() const noexcept { return arguments_; }

  // Replaces the bytes sent; the fields stay as they were.
  using RTMPMessage::setPayload;

  // None, logged, when the handler name cannot be read. An argument that
  // fails ends the arguments; those before it stay.
  static std::optional<RTMPDataMessage> decode(const RTMPChunkMessageHeader& header,
                                               RTMPObjectEncoding objectEncoding);

 private:
  RTMPDataMessage(std::uint32_t streamId, std::uint32_t timestamp, Bytes payload, RTMPObjectEncoding objectEncoding,
                  std::string handlerName, AMFList arguments) noexcept;

  RTMPObjectEncoding objectEncoding_;
  std::string handlerName_;
  AMFList arguments_;
};

}  // namespace rtmpfluvio
