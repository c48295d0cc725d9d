#include "Tracepost/Sources/ConsoleAppender.hpp"

#include <cstdio>

#include "Tracepost/Sources/LogClock.hpp"
#include "Tracepost/Sources/RecordDescription.hpp"
#include "Tracepost/Sources/TPLogger.hpp"

namespace tracepost {

void ConsoleAppender::write(const TPLogger& logger, TPLoggerLevel level, std::string_view file,
                            std::string_view function, int line, std::string_view message) {
  std::string text = recordDescription(LogClock::now(), level, logger.identifier(), file, line, function, message);
  text += '\n';
  // One write per line, so lines from several threads never interleave.
  std::fwrite(text.data(), 1, text.size(), stdout);
}

}  // namespace tracepost
