#include "Tracepost/Sources/OSLoggerAppender.hpp"

#include "Tracepost/Sources/TPLogger.hpp"

namespace tracepost {

namespace {

platform::OSLogType logType(TPLoggerLevel level) noexcept {
  switch (level) {
    case TPLoggerLevel::trace:
    case TPLoggerLevel::debug: return platform::OSLogType::debug;
    case TPLoggerLevel::info: return platform::OSLogType::info;
    case TPLoggerLevel::warn:
    case TPLoggerLevel::error: return platform::OSLogType::error;
  }
  return platform::OSLogType::error;
}

}  // namespace

OSLoggerAppender::OSLoggerAppender(std::string sybsystem, std::string category)
    : log_(std::move(sybsystem), std::move(category)) {}

bool OSLoggerAppender::takes(TPLoggerLevel level) const { return log_.isEnabled(logType(level)); }

void OSLoggerAppender::write(const TPLogger&, TPLoggerLevel level, std::string_view file, std::string_view function,
                             int line, std::string_view message) {
  std::string text = "[";
  text += TPLogger::fileName(file);
  text += ':';
  text += std::to_string(line);
  text += ']';
  text += function;
  text += '>';
  text += message;
  log_.log(logType(level), text);
}

}  // namespace tracepost
