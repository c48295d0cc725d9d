#include "Fluvio/Sources/Util/DataBlockBuffer.hpp"

namespace fluvio {

std::shared_ptr<platform::CMBlockBuffer> makeBlockBuffer(std::span<const std::uint8_t> data, std::size_t advancedBy) {
  if (advancedBy >= data.size()) return nullptr;
  auto made = platform::CMBlockBuffer::make(data.subspan(advancedBy));
  return made ? made.value : nullptr;
}

}  // namespace fluvio
