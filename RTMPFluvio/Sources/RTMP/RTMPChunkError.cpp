#include "RTMPFluvio/Sources/RTMP/RTMPChunkError.hpp"

namespace rtmpfluvio {
namespace {

std::string describe(RTMPChunkError::Case errorCase, std::uint64_t value) {
  const std::string number = std::to_string(value);
  switch (errorCase) {
    case RTMPChunkError::Case::invalidChunkSize: return "invalid chunk size " + number;
    case RTMPChunkError::Case::messageTooLong: return "message of " + number + " bytes is too long";
    case RTMPChunkError::Case::tooManyChunkStreams: return "too many chunk streams (" + number + ")";
    case RTMPChunkError::Case::bufferLimitExceeded: return "partial messages would hold " + number + " bytes";
    case RTMPChunkError::Case::malformedChunkSize: return "set chunk size of " + number + " bytes";
  }
  return "chunk error " + number;
}

}  // namespace

RTMPChunkError::RTMPChunkError(Case errorCase, std::uint64_t value)
    : case_(errorCase), value_(value), text_(describe(errorCase, value)) {}

}  // namespace rtmpfluvio
