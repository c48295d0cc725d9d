// Reads peer-chosen bytes as AMF3 values with one set of reference tables,
// then writes them back and reads that again.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "RTMPFluvio/Sources/AMF/AMF3Serializer.hpp"
#include "fuzz/AMFFuzzSupport.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using rtmpfluvio::AMF3Serializer;
  AMF3Serializer reader(std::vector<std::uint8_t>(data, data + size));
  const auto values = readAll(reader);

  AMF3Serializer writer;
  try {
    for (const auto& value : values) writer.serialize(value);
  } catch (const std::exception&) {
    return 0;
  }
  AMF3Serializer again(writer.data());
  readAll(again);
  return 0;
}
