// Decodes peer-chosen bytes as a received message of every type, the way the
// chunk layer hands messages on.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "RTMPFluvio/Sources/RTMP/RTMPReceivedMessage.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace rtmpfluvio;
  if (size == 0) return 0;
  RTMPChunkMessageHeader header;
  header.messageTypeId = data[0];
  header.payload.assign(data + 1, data + size);
  header.messageLength = header.payload.size();
  header.position = header.payload.size();
  for (const std::uint8_t typeId : {data[0], std::uint8_t{20}, std::uint8_t{17}, std::uint8_t{18}, std::uint8_t{19}}) {
    header.messageTypeId = typeId;
    const auto message = decodeMessage(header);
    // A decoded message keeps its type byte.
    if (message && rawValue(asMessage(*message).type()) != typeId) __builtin_trap();
  }
  return 0;
}
