#pragma once

#include <string_view>

#include "Tracepost/Sources/FormatArgument.hpp"
#include "Tracepost/Sources/MessageItem.hpp"
#include "Tracepost/Sources/TPLoggerLevel.hpp"

namespace tracepost {

class TPLogger;

// Where a logger's records go. The logger has filtered by level already.
class TPLoggerAppender {
 public:
  virtual ~TPLoggerAppender() = default;

  virtual void append(const TPLogger& logger, TPLoggerLevel level, Message message, std::string_view file,
                      std::string_view function, int line) = 0;
  virtual void append(const TPLogger& logger, TPLoggerLevel level, std::string_view format,
                      const FormatArgument& arguments, std::string_view file, std::string_view function,
                      int line) = 0;
};

}  // namespace tracepost
