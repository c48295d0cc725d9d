#include "Tracepost/Sources/SocketAppender.hpp"

#include <algorithm>

#include "Platform/Foundation/DateFormatter.hpp"
#include "Tracepost/Sources/LogClock.hpp"
#include "Tracepost/Sources/TPLogger.hpp"
#include "Tracepost/Sources/UTF8.hpp"

namespace tracepost {

namespace {

// The reader splits at the first six tabs, so a tab inside one of those
// fields would shift the line; it travels as a blank instead.
void appendField(std::string& line, std::string_view field) {
  const std::size_t start = line.size();
  line += field;
  std::replace(line.begin() + static_cast<std::ptrdiff_t>(start), line.end(), '\t', ' ');
  line += '\t';
}

// The receiver splits the stream at "\r\n\r\n". A CR that would begin
// that sequence, or end the line with CR LF (and so run into the terminator),
// goes: every line break stays, as a bare LF where the CR had to go.
void dropTerminatorCarriageReturns(std::string& line) {
  std::string kept;
  kept.reserve(line.size());
  for (std::size_t index = line.size(); index-- > 0;) {
    // `kept` holds the line after `index`, reversed and final.
    const std::size_t after = kept.size();
    const bool beginsBreak = after >= 1 && kept[after - 1] == '\n';
    const bool runsOn = after == 1 || (after >= 2 && kept[after - 2] == '\r');
    if (line[index] == '\r' && beginsBreak && runsOn) continue;
    kept += line[index];
  }
  line.assign(kept.rbegin(), kept.rend());
}

}  // namespace

void SocketAppender::write(const TPLogger& logger, TPLoggerLevel level, std::string_view file,
                           std::string_view function, int line, std::string_view message) {
  std::string text;
  appendField(text, TPLogger::dateFormatter()->string(LogClock::now()));
  appendField(text, description(level));
  appendField(text, logger.identifier());
  appendField(text, file);
  appendField(text, std::to_string(line));
  appendField(text, function);
  text += message;
  dropTerminatorCarriageReturns(text);
  text += "\r\n\r\n";
  // A line that is not UTF-8 could not be read back; it is dropped.
  if (!isValidUTF8(text)) return;
  socket_->write(std::vector<std::uint8_t>(text.begin(), text.end()));
}

}  // namespace tracepost
