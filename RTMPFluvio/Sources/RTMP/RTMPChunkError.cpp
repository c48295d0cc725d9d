#include "RTMPFluvio/Sources/RTMP/RTMPChunkError.hpp"

namespace rtmpfluvio {

RTMPChunkError::RTMPChunkError(Case errorCase, std::uint64_t value)
    : case_(errorCase),
      value_(value),
      text_((errorCase == Case::invalidChunkSize ? "invalidChunkSize " : "messageTooLong ") + std::to_string(value)) {}

}  // namespace rtmpfluvio
