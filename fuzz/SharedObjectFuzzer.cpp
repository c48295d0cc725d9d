// Reads peer-chosen bytes as shared-object events and writes back every
// event that was read.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>
#include <vector>

#include "RTMPFluvio/Sources/RTMP/RTMPSharedObjectEvent.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace rtmpfluvio;
  AMF0Serializer reader(std::span<const std::uint8_t>(data, size));
  std::vector<RTMPSharedObjectEvent> events;
  try {
    while (reader.bytesAvailable() > 0) {
      const std::size_t start = reader.position();
      if (auto event = RTMPSharedObjectEvent::decode(reader)) events.push_back(std::move(*event));
      if (reader.position() <= start) __builtin_trap();
    }
  } catch (const std::exception&) {
  }
  AMF0Serializer writer;
  try {
    for (const auto& event : events) event.serialize(writer);
  } catch (const std::exception&) {
  }
  return 0;
}
