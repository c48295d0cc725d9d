#include "Tracepost/Sources/TPLogger.hpp"

#include <map>

#include "Platform/Foundation/DateFormatter.hpp"
#include "Tracepost/Sources/ConsoleAppender.hpp"
#include "Tracepost/Sources/NullAppender.hpp"

namespace tracepost {

namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<TPLogger>, std::less<>> loggers;
};

Registry& registry() {
  // Never destroyed: loggers may still be used while statics unwind.
  static auto* instance = new Registry;
  return *instance;
}

struct SharedDateFormatter {
  std::mutex mutex;
  std::shared_ptr<const platform::DateFormatter> formatter;
};

SharedDateFormatter& sharedDateFormatter() {
  static auto* instance = new SharedDateFormatter;
  return *instance;
}

}  // namespace

TPLogger::TPLogger(std::string identifier)
    : identifier_(std::move(identifier)), appender_(ConsoleAppender::make()) {}

std::shared_ptr<TPLogger> TPLogger::make(std::string identifier) {
  return std::make_shared<TPLogger>(std::move(identifier));
}

std::shared_ptr<TPLogger> TPLogger::with(const std::string& identifier) {
  Registry& shared = registry();
  std::lock_guard lock(shared.mutex);
  auto& logger = shared.loggers[identifier];
  if (!logger) logger = make(identifier);
  return logger;
}

std::shared_ptr<TPLoggerAppender> TPLogger::appender() const {
  std::lock_guard lock(appenderMutex_);
  return appender_;
}

void TPLogger::setAppender(std::shared_ptr<TPLoggerAppender> appender) {
  if (!appender) appender = NullAppender::shared();
  std::lock_guard lock(appenderMutex_);
  appender_.swap(appender);
}

void TPLogger::logFormat(Level level, std::string_view file, std::string_view function, int line, Format format,
                         const FormatArgument& arguments) {
  if (!isEnabledFor(level)) return;
  appender()->append(*this, level, format.text, arguments, file, function, line);
}

std::string_view TPLogger::fileName(std::string_view path) noexcept {
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::shared_ptr<const platform::DateFormatter> TPLogger::dateFormatter() {
  SharedDateFormatter& shared = sharedDateFormatter();
  std::lock_guard lock(shared.mutex);
  if (!shared.formatter) shared.formatter = platform::DateFormatter::make("yyyy-dd-MM HH:mm:ss.SSS");
  return shared.formatter;
}

void TPLogger::setDateFormatter(std::shared_ptr<const platform::DateFormatter> formatter) {
  SharedDateFormatter& shared = sharedDateFormatter();
  std::lock_guard lock(shared.mutex);
  shared.formatter = std::move(formatter);
}

}  // namespace tracepost
