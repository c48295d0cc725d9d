#pragma once

#include <exception>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "RTMPFluvio/Sources/AMF/AMF0Serializer.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkMessageHeader.hpp"

namespace rtmpfluvio {

// The steps the command, data and shared-object decoders share.
namespace amfpayload {

// A command or handler name: an AMF0 string, short or long. Any other marker
// gives the empty string and only the marker byte is consumed.
std::string readName(AMF0Serializer& serializer);

// Every value up to the end of the payload. A value that fails to read ends
// the list; it is logged as from `decoder`, and the values before it stay.
AMFList readArguments(AMF0Serializer& serializer, std::string_view decoder);

// Logs why `decoder` dropped a received payload, within a rate limit.
void logFailure(std::string_view decoder, const std::exception& error, const AMF0Serializer& serializer);

// The message `read` builds from an AMF0 reader over the received payload;
// none, logged as from `decoder`, when a read throws.
template <class Message, class Read>
std::optional<Message> decode(const RTMPChunkMessageHeader& header, std::string_view decoder, Read read) {
  AMF0Serializer serializer{std::span<const std::uint8_t>(header.payload)};
  // Converting to the message calls `read`, whose result the optional's
  // construction takes without a move.
  struct Made {
    Read& read;
    AMF0Serializer& serializer;
    operator Message() const { return read(serializer); }
  };
  try {
    return std::optional<Message>(std::in_place, Made{read, serializer});
  } catch (const std::exception& error) {
    logFailure(decoder, error, serializer);
    return std::nullopt;
  }
}

}  // namespace amfpayload
}  // namespace rtmpfluvio
