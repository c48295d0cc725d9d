#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "RTMPFluvio/Sources/AMF/AMFValue.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkMessageHeader.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPMessage.hpp"

namespace rtmpfluvio {

// A remote procedure call or its reply. Its values travel in AMF0 whatever
// the object encoding; AMF3 only adds one 0x00 byte in front.
class RTMPCommandMessage final : public RTMPMessage {
 public:
  // Throws AMFSerializerError serialize for a value AMF0 cannot carry.
  RTMPCommandMessage(std::uint32_t streamId, std::uint32_t timestamp, RTMPObjectEncoding objectEncoding,
                     std::string commandName, std::int64_t transactionId, std::optional<AMFObject> commandObject,
                     AMFList arguments);

  RTMPMessageType type() const noexcept override {
    return objectEncoding_ == RTMPObjectEncoding::amf3 ? RTMPMessageType::amf3Command : RTMPMessageType::amf0Command;
  }
  RTMPObjectEncoding objectEncoding() const noexcept { return objectEncoding_; }
  const std::string& commandName() const noexcept { return commandName_; }
  std::int64_t transactionId() const noexcept { return transactionId_; }
  // A received null command object reads as an empty one.
  const std::optional<AMFObject>& commandObject() const noexcept { return commandObject_; }
  // Every value after the command object, in wire order.
  const AMFList& arguments() const noexcept { return arguments_; }

  // None, logged, when the name, transaction id or command object cannot be
  // read. An argument that fails ends the arguments; those before it stay.
  static std::optional<RTMPCommandMessage> decode(const RTMPChunkMessageHeader& header,
                                                  RTMPObjectEncoding objectEncoding);

 private:
  RTMPCommandMessage(std::uint32_t streamId, std::uint32_t timestamp, Bytes payload,
                     RTMPObjectEncoding objectEncoding, std::string commandName, std::int64_t transactionId,
                     std::optional<AMFObject> commandObject, AMFList arguments) noexcept;

  RTMPObjectEncoding objectEncoding_;
  std::string commandName_;
  std::int64_t transactionId_;
  std::optional<AMFObject> commandObject_;
  AMFList arguments_;
};

}  // namespace rtmpfluvio
