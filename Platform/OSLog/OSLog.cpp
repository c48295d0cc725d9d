#include "Platform/OSLog/OSLog.hpp"

#include <syslog.h>

#include <climits>

namespace platform {

namespace {

int priority(OSLogType type) noexcept {
  switch (type) {
    case OSLogType::debug: return LOG_DEBUG;
    case OSLogType::info: return LOG_INFO;
    case OSLogType::error: return LOG_ERR;
  }
  return LOG_ERR;
}

int printableLength(std::size_t length) noexcept { return length > INT_MAX ? INT_MAX : static_cast<int>(length); }

}  // namespace

OSLog::OSLog(std::string subsystem, std::string category)
    : subsystem_(std::move(subsystem)), category_(std::move(category)) {}

bool OSLog::isEnabled(OSLogType type) const noexcept {
  // A mask of 0 leaves the mask as it is and returns it.
  return (setlogmask(0) & LOG_MASK(priority(type))) != 0;
}

void OSLog::log(OSLogType type, std::string_view text) const {
  syslog(priority(type), "[%s:%s] %.*s", subsystem_.c_str(), category_.c_str(), printableLength(text.size()),
         text.data());
}

}  // namespace platform
