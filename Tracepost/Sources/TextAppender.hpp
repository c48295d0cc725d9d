#pragma once

#include <string_view>

#include "Tracepost/Sources/TPLoggerAppender.hpp"

namespace tracepost {

// An appender that writes each record's message text: the items described and
// concatenated, or the formatted text. The text is only built for records the
// destination takes.
class TextAppender : public TPLoggerAppender {
 public:
  void append(const TPLogger& logger, TPLoggerLevel level, Message message, std::string_view file,
              std::string_view function, int line) final {
    if (takes(level)) write(logger, level, file, function, line, messageText(message));
  }
  void append(const TPLogger& logger, TPLoggerLevel level, std::string_view format, const FormatArgument& arguments,
              std::string_view file, std::string_view function, int line) final {
    if (takes(level)) write(logger, level, file, function, line, arguments.format(format));
  }

 protected:
  virtual bool takes(TPLoggerLevel) const { return true; }
  virtual void write(const TPLogger& logger, TPLoggerLevel level, std::string_view file, std::string_view function,
                     int line, std::string_view message) = 0;
};

}  // namespace tracepost
