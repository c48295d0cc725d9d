#include "Tracepost/Sources/FormatArgument.hpp"

#include <climits>
#include <cstdio>
#include <optional>

namespace tracepost {

namespace {

// Widths and precisions beyond this are not honoured: a format is not a way
// to make a log call allocate without bound.
constexpr int largestWidth = 4096;

enum class Kind { signedInteger, unsignedInteger, character, floating, string, pointer };

// One conversion of a format, split into the parts the argument's own
// printf call is rebuilt from.
struct Conversion {
  std::size_t begin = 0;  // index of '%'
  std::size_t end = 0;    // one past the conversion letter
  std::string flagsAndWidth;
  std::optional<int> precision;
  Kind kind = Kind::signedInteger;
};

std::optional<Kind> kindOf(char letter) {
  switch (letter) {
    case 'd': case 'i': return Kind::signedInteger;
    case 'o': case 'u': case 'x': case 'X': return Kind::unsignedInteger;
    case 'c': return Kind::character;
    case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': case 'a': case 'A': return Kind::floating;
    case 's': return Kind::string;
    case 'p': return Kind::pointer;
    default: return std::nullopt;
  }
}

// Reads a decimal number at `index`; none when it is out of bounds.
std::optional<int> readNumber(std::string_view format, std::size_t& index) {
  int number = 0;
  while (index < format.size() && format[index] >= '0' && format[index] <= '9') {
    number = number * 10 + (format[index] - '0');
    if (number > largestWidth) return std::nullopt;
    ++index;
  }
  return number;
}

// The conversion starting at format[begin] == '%'; none for anything the
// argument cannot be checked against (*, %n, unknown letters).
std::optional<Conversion> readConversion(std::string_view format, std::size_t begin) {
  Conversion conversion;
  conversion.begin = begin;
  std::size_t index = begin + 1;
  while (index < format.size() && std::string_view("-+ #0'").find(format[index]) != std::string_view::npos) ++index;
  if (!readNumber(format, index)) return std::nullopt;
  conversion.flagsAndWidth = format.substr(begin + 1, index - begin - 1);
  if (index < format.size() && format[index] == '.') {
    ++index;
    conversion.precision = readNumber(format, index);
    if (!conversion.precision) return std::nullopt;
  }
  // The length modifier is the argument's business, not the format's.
  while (index < format.size() && std::string_view("hlLqjzt").find(format[index]) != std::string_view::npos) ++index;
  if (index >= format.size()) return std::nullopt;
  const auto kind = kindOf(format[index]);
  if (!kind) return std::nullopt;
  conversion.kind = *kind;
  conversion.end = index + 1;
  return conversion;
}

template <class... Values>
void appendPrintf(std::string& text, const std::string& conversion, Values... values) {
  const int length = std::snprintf(nullptr, 0, conversion.c_str(), values...);
  if (length <= 0) return;
  const std::size_t start = text.size();
  text.resize(start + static_cast<std::size_t>(length) + 1);
  std::snprintf(text.data() + start, static_cast<std::size_t>(length) + 1, conversion.c_str(), values...);
  text.resize(start + static_cast<std::size_t>(length));
}

// Literal text with each "%%" taken as one '%'.
void appendLiteral(std::string& text, std::string_view literal) {
  for (std::size_t index = 0; index < literal.size(); ++index) {
    text += literal[index];
    if (literal[index] == '%') ++index;
  }
}

}  // namespace

std::string FormatArgument::format(std::string_view format) const {
  std::optional<Conversion> found;
  for (std::size_t index = format.find('%'); index != std::string_view::npos; index = format.find('%', index)) {
    if (index + 1 < format.size() && format[index + 1] == '%') {
      index += 2;
      continue;
    }
    if (found) return std::string(format);  // a second conversion has no argument
    found = readConversion(format, index);
    if (!found) return std::string(format);
    index = found->end;
  }

  std::string text;
  if (!found) {
    appendLiteral(text, format);
    return text;
  }
  const Conversion& conversion = *found;
  const std::string precision = conversion.precision ? "." + std::to_string(*conversion.precision) : "";
  const std::string head = "%" + conversion.flagsAndWidth + precision;
  const bool fits = std::visit(
      [&](const auto& value) {
        using Value = std::decay_t<decltype(value)>;
        appendLiteral(text, format.substr(0, conversion.begin));
        const char letter = format[conversion.end - 1];
        if constexpr (std::is_same_v<Value, long long> || std::is_same_v<Value, unsigned long long>) {
          switch (conversion.kind) {
            case Kind::signedInteger: appendPrintf(text, head + "ll" + letter, static_cast<long long>(value)); return true;
            case Kind::unsignedInteger:
              appendPrintf(text, head + "ll" + letter, static_cast<unsigned long long>(value));
              return true;
            case Kind::character: appendPrintf(text, head + letter, static_cast<int>(value)); return true;
            default: return false;
          }
        } else if constexpr (std::is_same_v<Value, double>) {
          if (conversion.kind != Kind::floating) return false;
          appendPrintf(text, head + letter, value);
          return true;
        } else if constexpr (std::is_same_v<Value, std::string_view>) {
          if (conversion.kind != Kind::string) return false;
          const std::size_t shown = std::min<std::size_t>(value.size(), conversion.precision.value_or(INT_MAX));
          appendPrintf(text, "%" + conversion.flagsAndWidth + ".*s", static_cast<int>(shown), value.data());
          return true;
        } else {
          if (conversion.kind != Kind::pointer) return false;
          appendPrintf(text, head + letter, value);
          return true;
        }
      },
      value_);
  if (!fits) return std::string(format);
  appendLiteral(text, format.substr(conversion.end));
  return text;
}

}  // namespace tracepost
