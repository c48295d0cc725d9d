#include "Tracepost/Sources/MultiAppender.hpp"

namespace tracepost {

void MultiAppender::append(const TPLogger& logger, TPLoggerLevel level, Message message, std::string_view file,
                           std::string_view function, int line) {
  forEachMember([&](TPLoggerAppender& member) { member.append(logger, level, message, file, function, line); });
}

void MultiAppender::append(const TPLogger& logger, TPLoggerLevel level, std::string_view format,
                           const FormatArgument& arguments, std::string_view file, std::string_view function,
                           int line) {
  forEachMember(
      [&](TPLoggerAppender& member) { member.append(logger, level, format, arguments, file, function, line); });
}

}  // namespace tracepost
