// Reads peer-chosen bytes as one socket log line, as a receiving tool does,
// and prints the record it gives.
#include <cstddef>
#include <cstdint>
#include <span>

#include "Tracepost/Sources/TPLoggerData.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto record = tracepost::TPLogger::Data::from(std::span<const std::uint8_t>(data, size));
  if (record) record->description();
  return 0;
}
