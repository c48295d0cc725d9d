#include "Fluvio/Sources/ISO/NALStartCodes.hpp"

#include <cstring>

namespace fluvio {

std::vector<NALStartCodeUnit> findNALStartCodeUnits(std::span<const std::uint8_t> data) {
  std::vector<NALStartCodeUnit> units;
  const std::uint8_t* bytes = data.data();
  // `last` is the candidate index of a start code's final 0x01.
  std::size_t last = 2;
  while (last < data.size()) {
    const void* found = std::memchr(bytes + last, 0x01, data.size() - last);
    if (found == nullptr) break;
    last = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - bytes);
    if (bytes[last - 1] == 0 && bytes[last - 2] == 0) {
      const std::size_t startCode = (last >= 3 && bytes[last - 3] == 0) ? last - 3 : last - 2;
      if (!units.empty()) units.back().length = startCode - units.back().offset;
      units.push_back({startCode, last + 1, data.size() - (last + 1)});
    }
    ++last;
  }
  return units;
}

}  // namespace fluvio
