#pragma once

#include <charconv>
#include <concepts>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fluvio {

// The labelled parts of a value, for the uniform debug text many types give:
// "TypeName{label: value,label: value}".
class Mirror {
 public:
  struct Child {
    std::optional<std::string> label;  // unlabelled children are left out of the text
    std::string value;
  };

  Mirror(std::string subjectType, std::vector<Child> children, std::vector<Child> superclassChildren = {})
      : subjectType_(std::move(subjectType)),
        children_(std::move(children)),
        superclassChildren_(std::move(superclassChildren)) {}

  // A labelled child whose value is rendered as text interpolation renders it.
  template <class T>
  static Child child(std::string label, const T& value) {
    return {std::move(label), describe(value)};
  }

  // Superclass children first, then the subject's own.
  std::string debugDescription() const;

  static std::string describe(std::string_view value) { return std::string(value); }
  static std::string describe(const std::string& value) { return value; }
  static std::string describe(const char* value) { return value; }
  static std::string describe(bool value) { return value ? "true" : "false"; }

  template <std::integral T>
  static std::string describe(T value) {
    return std::to_string(value);
  }

  // Shortest round-trip digits; whole numbers keep a ".0".
  template <std::floating_point T>
  static std::string describe(T value) {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    std::string result(text, end);
    if (result.find_first_not_of("-0123456789") == std::string::npos) result += ".0";
    return result;
  }

  template <class T>
  static std::string describe(const std::optional<T>& value) {
    return value ? "Optional(" + describe(*value) + ")" : "nil";
  }

  // Anything else that prints itself (enums print their case name).
  template <class T>
    requires(!std::integral<T> && !std::floating_point<T> &&
             requires(std::ostream& stream, const T& value) { stream << value; })
  static std::string describe(const T& value) {
    std::ostringstream stream;
    stream << value;
    return stream.str();
  }

 private:
  std::string subjectType_;
  std::vector<Child> children_;
  std::vector<Child> superclassChildren_;
};

}  // namespace fluvio
