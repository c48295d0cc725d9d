#include "Tracepost/Sources/TPLoggerData.hpp"

#include <array>
#include <charconv>
#include <string_view>

#include "Platform/Foundation/DateFormatter.hpp"
#include "Tracepost/Sources/LogClock.hpp"
#include "Tracepost/Sources/RecordDescription.hpp"
#include "Tracepost/Sources/UTF8.hpp"

namespace tracepost {

namespace {

// A decimal with an optional sign, digits only, within 64 bits; else 0.
std::int64_t lineNumber(std::string_view text) {
  const bool plus = !text.empty() && text.front() == '+';
  if (plus) text.remove_prefix(1);
  if (text.empty() || (plus && text.front() == '-')) return 0;
  std::int64_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  return error == std::errc() && end == text.data() + text.size() ? number : 0;
}

}  // namespace

std::optional<TPLogger::Data> TPLogger::Data::from(std::span<const std::uint8_t> bytes) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (!isValidUTF8(text)) return std::nullopt;

  std::array<std::string_view, 6> fields;
  std::size_t start = 0;
  for (auto& field : fields) {
    const std::size_t tab = text.find('\t', start);
    if (tab == std::string_view::npos) return std::nullopt;
    field = text.substr(start, tab - start);
    start = tab + 1;
  }

  Data data;
  data.date = TPLogger::dateFormatter()->date(fields[0]).value_or(LogClock::now());
  data.level = levelFromString(fields[1]).value_or(Level::trace);
  data.identifier = fields[2];
  data.file = fields[3];
  data.line = lineNumber(fields[4]);
  data.function = fields[5];
  data.message = text.substr(start);
  return data;
}

std::string TPLogger::Data::description() const {
  return recordDescription(date, level, identifier, file, line, function, message);
}

}  // namespace tracepost
