#pragma once

#include <charconv>
#include <concepts>
#include <cstddef>
#include <cstring>
#include <exception>
#include <iterator>
#include <optional>
#include <ranges>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

namespace tracepost {

// The descriptive text of a value, as a log message shows it: strings as they
// are, numbers in their shortest round-trip form, bools as true/false,
// exceptions by what(), optionals as their value or nil, tuples as (a, b),
// containers as [a, b] and maps as [key: value]. Other types describe
// themselves through description() or operator<<.
template <class T>
void appendDescription(std::string& text, const T& value);

namespace detail {

template <class T>
concept StringLike = std::convertible_to<const T&, std::string_view> && !std::is_array_v<T>;

template <class T>
concept HasDescriptionMember = requires(const T& value) {
  { value.description() } -> std::convertible_to<std::string_view>;
};

template <class T>
concept HasDescriptionFunction = requires(const T& value) {
  { description(value) } -> std::convertible_to<std::string_view>;
};

template <class T>
concept Streamable = requires(std::ostream& stream, const T& value) { stream << value; };

template <class T>
concept Optional = requires(const T& value) {
  typename T::value_type;
  requires std::same_as<T, std::optional<typename T::value_type>>;
};

template <class T>
concept TupleLike = requires { std::tuple_size<T>::value; } && !std::ranges::range<T>;

template <class T>
concept KeyValue = requires(const T& entry) {
  entry.first;
  entry.second;
};

template <class T>
void appendNumber(std::string& text, T number) {
  char digits[64];
  const auto result = std::to_chars(std::begin(digits), std::end(digits), number);
  text.append(digits, result.ptr);
}

template <class Tuple, std::size_t... Index>
void appendTuple(std::string& text, const Tuple& tuple, std::index_sequence<Index...>) {
  text += '(';
  ((text.append(Index == 0 ? "" : ", "), appendDescription(text, std::get<Index>(tuple))), ...);
  text += ')';
}

template <class Range>
void appendRange(std::string& text, const Range& range) {
  text += '[';
  bool first = true;
  for (const auto& element : range) {
    if (!first) text += ", ";
    first = false;
    if constexpr (KeyValue<std::ranges::range_value_t<Range>>) {
      appendDescription(text, element.first);
      text += ": ";
      appendDescription(text, element.second);
    } else {
      appendDescription(text, element);
    }
  }
  text += ']';
}

}  // namespace detail

template <class T>
void appendDescription(std::string& text, const T& value) {
  if constexpr (std::is_array_v<T> && std::same_as<std::remove_cv_t<std::remove_extent_t<T>>, char>) {
    text.append(value, strnlen(value, std::extent_v<T>));
  } else if constexpr (std::same_as<T, std::nullptr_t>) {
    text.append("nil");
  } else if constexpr (std::same_as<T, const char*> || std::same_as<T, char*>) {
    text.append(value ? std::string_view(value) : std::string_view("nil"));
  } else if constexpr (detail::StringLike<T>) {
    text.append(std::string_view(value));
  } else if constexpr (std::same_as<T, char>) {
    text += value;
  } else if constexpr (std::same_as<T, bool>) {
    text.append(value ? "true" : "false");
  } else if constexpr (std::is_arithmetic_v<T>) {
    detail::appendNumber(text, value);
  } else if constexpr (detail::Optional<T>) {
    if (value) {
      appendDescription(text, *value);
    } else {
      text.append("nil");
    }
  } else if constexpr (std::derived_from<T, std::exception>) {
    text.append(value.what());
  } else if constexpr (detail::HasDescriptionMember<T>) {
    text.append(std::string_view(value.description()));
  } else if constexpr (detail::HasDescriptionFunction<T>) {
    text.append(std::string_view(description(value)));
  } else if constexpr (detail::Streamable<T>) {
    std::ostringstream stream;
    stream << value;
    text.append(std::move(stream).str());
  } else if constexpr (detail::TupleLike<T>) {
    detail::appendTuple(text, value, std::make_index_sequence<std::tuple_size_v<T>>());
  } else if constexpr (std::ranges::input_range<const T>) {
    detail::appendRange(text, value);
  } else if constexpr (std::is_enum_v<T>) {
    detail::appendNumber(text, static_cast<std::underlying_type_t<T>>(value));
  } else {
    static_assert(sizeof(T) == 0, "a message item needs a descriptive text: give its type description() or operator<<");
  }
}

}  // namespace tracepost
