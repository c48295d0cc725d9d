#pragma once

#include <concepts>
#include <string>
#include <string_view>
#include <variant>

namespace tracepost {

// Marks the format string of a format-form log call.
struct LogFormat {
  std::string_view text;
};

// A log call's items are a message unless they start with a format.
template <class... Items>
inline constexpr bool MessageItems = true;
template <class First, class... Rest>
inline constexpr bool MessageItems<First, Rest...> = !std::same_as<First, LogFormat>;

// The one argument of a format-form log call. It remembers its kind, so the
// format's conversion can be checked against it before anything is printed.
class FormatArgument {
 public:
  template <std::signed_integral T>
  FormatArgument(T value) noexcept : value_(static_cast<long long>(value)) {} 
  template <std::unsigned_integral T>
  FormatArgument(T value) noexcept : value_(static_cast<unsigned long long>(value)) {} 
  template <std::floating_point T>
  FormatArgument(T value) noexcept : value_(static_cast<double>(value)) {} 
  FormatArgument(const char* value) noexcept : value_(std::string_view(value ? value : "(null)")) {} 
  FormatArgument(std::string_view value) noexcept : value_(value) {} 
  FormatArgument(const std::string& value) noexcept : value_(std::string_view(value)) {} 
  FormatArgument(const void* value) noexcept : value_(value) {} 

  // printf-style text of `format` with this argument. A format whose
  // conversions do not fit the argument comes back as the format text itself.
  std::string format(std::string_view format) const;

 private:
  std::variant<long long, unsigned long long, double, std::string_view, const void*> value_;
};

}  // namespace tracepost
