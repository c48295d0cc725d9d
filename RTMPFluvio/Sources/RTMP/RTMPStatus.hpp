#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "RTMPFluvio/Sources/AMF/AMFValue.hpp"

namespace rtmpfluvio {

// One status event: the server's code, level and description, with the whole
// information object it came in (absent for statuses this side makes).
class RTMPStatus {
 public:
  RTMPStatus(std::string code, std::string level, std::string description = {},
             std::optional<AMFObject> data = std::nullopt)
      : code_(std::move(code)), level_(std::move(level)), description_(std::move(description)), data_(std::move(data)) {}

  // None unless the object holds a string "code" and a string "level"; a
  // missing or mistyped "description" reads as empty.
  static std::optional<RTMPStatus> make(const AMFObject* object);

  const std::string& code() const noexcept { return code_; }
  const std::string& level() const noexcept { return level_; }
  const std::string& description() const noexcept { return description_; }
  const std::optional<AMFObject>& data() const noexcept { return data_; }

  // A further member of the information object, when it is of that kind;
  // no conversion between strings and numbers.
  std::optional<std::string> string(std::string_view key) const;
  std::optional<double> number(std::string_view key) const;

  friend bool operator==(const RTMPStatus&, const RTMPStatus&) = default;

 private:
  std::string code_;
  std::string level_;
  std::string description_;
  std::optional<AMFObject> data_;
};

// Code and level only: descriptions may carry authentication challenges.
std::ostream& operator<<(std::ostream& stream, const RTMPStatus& status);

}  // namespace rtmpfluvio
