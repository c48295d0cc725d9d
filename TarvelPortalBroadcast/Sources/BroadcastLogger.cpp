#include "TarvelPortalBroadcast/Sources/BroadcastLogger.hpp"

#include <memory>

namespace tarvelportalbroadcast {

tracepost::TPLogger& logger() {
  static const std::shared_ptr<tracepost::TPLogger> instance = tracepost::TPLogger::with("TarvelPortalBroadcast");
  return *instance;
}

}  // namespace tarvelportalbroadcast
