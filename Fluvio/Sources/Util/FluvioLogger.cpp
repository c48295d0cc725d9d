#include "Fluvio/Sources/Util/FluvioLogger.hpp"

#include <memory>
#include <string>

namespace fluvio {

tracepost::TPLogger& logger() {
  // A function-local static is made once, thread-safely; holding the shared
  // pointer keeps the logger alive for the whole process.
  static const std::shared_ptr<tracepost::TPLogger> moduleLogger = tracepost::TPLogger::with(std::string(kFluvioIdentifier));
  return *moduleLogger;
}

}  // namespace fluvio
