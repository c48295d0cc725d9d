#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "Tracepost/Sources/TPLogger.hpp"

namespace tracepost {

// One record read back from a socket log line (without its terminator).
struct TPLogger::Data {
  std::chrono::system_clock::time_point date;
  Level level = Level::trace;
  std::string identifier;
  std::string file;
  std::int64_t line = 0;
  std::string function;
  std::string message;

  // The six fields up to the sixth tab, the rest of the line as the message;
  // none for invalid UTF-8 or fewer than six tabs. A date that does not parse
  // reads as now, an unknown level word as trace, a malformed line number as 0.
  static std::optional<Data> from(std::span<const std::uint8_t> bytes);

  std::string description() const;
};

}  // namespace tracepost
