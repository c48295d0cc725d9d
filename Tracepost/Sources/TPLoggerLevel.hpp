#pragma once

#include <optional>
#include <ostream>
#include <string_view>

namespace tracepost {

// The five record levels, ordered by raw value.
enum class TPLoggerLevel : int { trace = 0, debug = 1, info = 2, warn = 3, error = 4 };

constexpr int rawValue(TPLoggerLevel level) noexcept { return static_cast<int>(level); }

constexpr std::optional<TPLoggerLevel> levelFromRawValue(int rawValue) noexcept {
  if (rawValue < 0 || rawValue > 4) return std::nullopt;
  return static_cast<TPLoggerLevel>(rawValue);
}

constexpr std::string_view description(TPLoggerLevel level) noexcept {
  switch (level) {
    case TPLoggerLevel::trace: return "Trace";
    case TPLoggerLevel::debug: return "Debug";
    case TPLoggerLevel::info: return "Info";
    case TPLoggerLevel::warn: return "Warn";
    case TPLoggerLevel::error: return "Error";
  }
  return "";
}

// The level whose description is exactly `word`; letter case matters.
constexpr std::optional<TPLoggerLevel> levelFromString(std::string_view word) noexcept {
  for (int raw = 0; raw <= 4; ++raw) {
    const auto level = static_cast<TPLoggerLevel>(raw);
    if (description(level) == word) return level;
  }
  return std::nullopt;
}

inline std::ostream& operator<<(std::ostream& stream, TPLoggerLevel level) { return stream << description(level); }

}  // namespace tracepost
