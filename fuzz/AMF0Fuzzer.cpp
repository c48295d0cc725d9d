// Reads peer-chosen bytes as AMF0 values, the way the command and data
// decoders do, and writes back whatever was read.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "RTMPFluvio/Sources/AMF/AMF0Serializer.hpp"
#include "fuzz/AMFFuzzSupport.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using rtmpfluvio::AMF0Serializer;
  AMF0Serializer reader(std::vector<std::uint8_t>(data, data + size));
  const auto values = readAll(reader);

  AMF0Serializer fields(std::vector<std::uint8_t>(data, data + size));
  try {
    fields.deserializeInt();
    fields.deserializeObject();
  } catch (const std::exception&) {
  }

  AMF0Serializer writer;
  try {
    for (const auto& value : values) writer.serialize(value);
  } catch (const std::exception&) {
  }
  return 0;
}
