#include "RTMPFluvio/Sources/AMF/AMFSerializer.hpp"

namespace rtmpfluvio {

AMFSerializer::NestingGuard::NestingGuard(int& depth) : depth_(depth) {
  if (depth_ >= kMaxDepth) fail(AMFSerializerError::Case::deserialize);
  ++depth_;
}

std::size_t AMFSerializer::checkedCount(std::uint64_t count, std::size_t minimumElementSize) const {
  const std::int64_t available = bytesAvailable();
  if (available < 0 || count > static_cast<std::uint64_t>(available) / minimumElementSize) {
    throw Error(Error::Case::eof);
  }
  return static_cast<std::size_t>(count);
}

}  // namespace rtmpfluvio
