#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace platform {

// The value of a session property: a flag, a number, a string, a list or a
// dictionary of further values.
class VTPropertyValue {
 public:
  using List = std::vector<VTPropertyValue>;
  using Dictionary = std::map<std::string, VTPropertyValue>;
  using Storage = std::variant<bool, std::int64_t, double, std::string, List, Dictionary>;

  VTPropertyValue(bool value) : storage_(value) {}
  VTPropertyValue(std::int64_t value) : storage_(value) {}
  VTPropertyValue(std::int32_t value) : storage_(std::int64_t{value}) {}
  VTPropertyValue(double value) : storage_(value) {}
  VTPropertyValue(std::string value) : storage_(std::move(value)) {}
  VTPropertyValue(const char* value) : storage_(std::string(value)) {}
  VTPropertyValue(List value) : storage_(std::move(value)) {}
  VTPropertyValue(Dictionary value) : storage_(std::move(value)) {}

  const Storage& storage() const noexcept { return storage_; }

  // Either kind of number, as a double; none for anything else.
  std::optional<double> number() const noexcept;
  // A flag, or a number read as true when not 0.
  std::optional<bool> flag() const noexcept;
  const std::string* string() const noexcept { return std::get_if<std::string>(&storage_); }
  const List* list() const noexcept { return std::get_if<List>(&storage_); }
  const Dictionary* dictionary() const noexcept { return std::get_if<Dictionary>(&storage_); }

  friend bool operator==(const VTPropertyValue&, const VTPropertyValue&) = default;

 private:
  Storage storage_;
};

using VTPropertyDictionary = VTPropertyValue::Dictionary;

}  // namespace platform
