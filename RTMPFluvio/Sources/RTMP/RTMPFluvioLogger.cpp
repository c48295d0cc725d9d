#include "RTMPFluvio/Sources/RTMP/RTMPFluvioLogger.hpp"

#include <memory>
#include <string>

namespace rtmpfluvio {

tracepost::TPLogger& logger() {
  static const std::shared_ptr<tracepost::TPLogger> instance =
      tracepost::TPLogger::with(std::string(kRTMPFluvioIdentifier));
  return *instance;
}

}  // namespace rtmpfluvio
