#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "Tracepost/Sources/FormatArgument.hpp"
#include "Tracepost/Sources/MessageItem.hpp"
#include "Tracepost/Sources/TPLoggerAppender.hpp"
#include "Tracepost/Sources/TPLoggerLevel.hpp"

namespace platform {
class DateFormatter;
}

namespace tracepost {

// A named logger: filters records by its level and hands the rest to its
// appender. Level and appender may be read and replaced from any thread.
class TPLogger {
 public:
  using Level = TPLoggerLevel;
  struct Data;

  using Format = LogFormat;

  // A logger that is not registered; level info, a new console appender.
  static std::shared_ptr<TPLogger> make(std::string identifier);
  // The logger registered under `identifier`, made and registered on first request.
  static std::shared_ptr<TPLogger> with(const std::string& identifier);

  const std::string& identifier() const noexcept { return identifier_; }

  Level level() const noexcept { return level_.load(std::memory_order_relaxed); }
  void setLevel(Level level) noexcept { level_.store(level, std::memory_order_relaxed); }

  std::shared_ptr<TPLoggerAppender> appender() const;
  // A null appender is taken as the shared null appender.
  void setAppender(std::shared_ptr<TPLoggerAppender> appender);

  bool isEnabledFor(Level level) const noexcept { return rawValue(level) >= rawValue(this->level()); }

  // The message form: items of any type, described and concatenated by the appender.
  template <class... Items>
    requires MessageItems<Items...>
  void trace(std::string_view file, std::string_view function, int line, const Items&... message) {
    log(Level::trace, file, function, line, message...);
  }
  template <class... Items>
    requires MessageItems<Items...>
  void debug(std::string_view file, std::string_view function, int line, const Items&... message) {
    log(Level::debug, file, function, line, message...);
  }
  template <class... Items>
    requires MessageItems<Items...>
  void info(std::string_view file, std::string_view function, int line, const Items&... message) {
    log(Level::info, file, function, line, message...);
  }
  template <class... Items>
    requires MessageItems<Items...>
  void warn(std::string_view file, std::string_view function, int line, const Items&... message) {
    log(Level::warn, file, function, line, message...);
  }
  template <class... Items>
    requires MessageItems<Items...>
  void error(std::string_view file, std::string_view function, int line, const Items&... message) {
    log(Level::error, file, function, line, message...);
  }

  // The format form: one printf-style format and its one argument.
  void trace(std::string_view file, std::string_view function, int line, Format format, FormatArgument arguments) {
    logFormat(Level::trace, file, function, line, format, arguments);
  }
  void debug(std::string_view file, std::string_view function, int line, Format format, FormatArgument arguments) {
    logFormat(Level::debug, file, function, line, format, arguments);
  }
  void info(std::string_view file, std::string_view function, int line, Format format, FormatArgument arguments) {
    logFormat(Level::info, file, function, line, format, arguments);
  }
  void warn(std::string_view file, std::string_view function, int line, Format format, FormatArgument arguments) {
    logFormat(Level::warn, file, function, line, format, arguments);
  }
  void error(std::string_view file, std::string_view function, int line, Format format, FormatArgument arguments) {
    logFormat(Level::error, file, function, line, format, arguments);
  }

  // The last "/"-separated piece of a source path.
  static std::string_view fileName(std::string_view path) noexcept;

  // The date formatter that every appender and the line reader use.
  static std::shared_ptr<const platform::DateFormatter> dateFormatter();
  static void setDateFormatter(std::shared_ptr<const platform::DateFormatter> formatter);

  explicit TPLogger(std::string identifier);

 private:
  template <class... Items>
  void log(Level level, std::string_view file, std::string_view function, int line, const Items&... message) {
    if (!isEnabledFor(level)) return;
    const std::array<MessageItem, sizeof...(Items)> items{MessageItem(message)...};
    appender()->append(*this, level, Message(items), file, function, line);
  }
  void logFormat(Level level, std::string_view file, std::string_view function, int line, Format format,
                 const FormatArgument& arguments);

  const std::string identifier_;
  std::atomic<Level> level_{Level::info};
  mutable std::mutex appenderMutex_;
  std::shared_ptr<TPLoggerAppender> appender_;
};

}  // namespace tracepost

// Log calls. They capture the caller's file, function and line, and evaluate
// nothing of their items when the logger's level is above theirs.
#define TPLOGGER_LOG_(logger, levelName, ...)                                                   \
  do {                                                                                          \
    ::tracepost::TPLogger& tpLogger_ = (logger);                                                \
    if (tpLogger_.isEnabledFor(::tracepost::TPLogger::Level::levelName))                        \
      tpLogger_.levelName(__FILE__, __func__, __LINE__ __VA_OPT__(, ) __VA_ARGS__);             \
  } while (false)

#define TPLOGGER_LOGF_(logger, levelName, format, argument) \
  TPLOGGER_LOG_(logger, levelName, ::tracepost::TPLogger::Format{format}, argument)

#define TP_TRACE(logger, ...) TPLOGGER_LOG_(logger, trace __VA_OPT__(, ) __VA_ARGS__)
#define TP_DEBUG(logger, ...) TPLOGGER_LOG_(logger, debug __VA_OPT__(, ) __VA_ARGS__)
#define TP_INFO(logger, ...) TPLOGGER_LOG_(logger, info __VA_OPT__(, ) __VA_ARGS__)
#define TP_WARN(logger, ...) TPLOGGER_LOG_(logger, warn __VA_OPT__(, ) __VA_ARGS__)
#define TP_ERROR(logger, ...) TPLOGGER_LOG_(logger, error __VA_OPT__(, ) __VA_ARGS__)

#define TP_TRACEF(logger, format, argument) TPLOGGER_LOGF_(logger, trace, format, argument)
#define TP_DEBUGF(logger, format, argument) TPLOGGER_LOGF_(logger, debug, format, argument)
#define TP_INFOF(logger, format, argument) TPLOGGER_LOGF_(logger, info, format, argument)
#define TP_WARNF(logger, format, argument) TPLOGGER_LOGF_(logger, warn, format, argument)
#define TP_ERRORF(logger, format, argument) TPLOGGER_LOGF_(logger, error, format, argument)
