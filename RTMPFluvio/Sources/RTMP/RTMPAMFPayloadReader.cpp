#include "RTMPFluvio/Sources/RTMP/RTMPAMFPayloadReader.hpp"

#include <algorithm>
#include <cstdint>

#include "RTMPFluvio/Sources/RTMP/RTMPFluvioLogger.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPPeerLogLimit.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPPeerText.hpp"

namespace rtmpfluvio::amfpayload {
namespace {

constexpr std::uint8_t kStringMarker = 0x02;
constexpr std::uint8_t kLongStringMarker = 0x0C;
// Room for the arguments of a usual command or data body, so that reading
// them seldom regrows the list; never more than the bytes left could hold.
constexpr std::int64_t kTypicalArgumentCount = 4;

}  // namespace

std::string readName(AMF0Serializer& serializer) {
  switch (serializer.readUInt8()) {
    case kStringMarker:
      return serializer.readUTF8Bytes(serializer.readUInt16());
    case kLongStringMarker:
      return serializer.readUTF8Bytes(serializer.readUInt32());
    default:
      return {};
  }
}

AMFList readArguments(AMF0Serializer& serializer, std::string_view decoder) {
  AMFList arguments;
  arguments.reserve(static_cast<std::size_t>(std::clamp<std::int64_t>(serializer.bytesAvailable(), 0, kTypicalArgumentCount)));
  try {
    // Converting to the value reads it, so that each is built in its place
    // in the list rather than moved there.
    struct Read {
      AMF0Serializer& serializer;
      operator AMFValue() const { return serializer.deserialize(); }
    };
    while (serializer.bytesAvailable() > 0) arguments.emplace_back(Read{serializer});
  } catch (const std::exception& error) {
    logFailure(decoder, error, serializer);
  }
  return arguments;
}

void logFailure(std::string_view decoder, const std::exception& error, const AMF0Serializer& serializer) {
  // A server decides how often this happens: bounded, and not an error of ours.
  static RTMPPeerLogLimit limit;
  if (const auto admission = limit.admit()) {
    TP_WARN(logger(), admission.summary(), decoder, ": ", peerText(error.what()), " at byte ", serializer.position(),
            " of ", serializer.length());
  }
}

}  // namespace rtmpfluvio::amfpayload
