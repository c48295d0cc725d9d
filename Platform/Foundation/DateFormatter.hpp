#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Formats and parses dates by a fixed pattern: y (year), M (month), d (day),
// H (hour 0-23), m (minute), s (second), S (fraction of a second); a run of a
// letter sets the field's digit count, 'quoted' text and other characters are
// literal. Dates follow the local time zone unless a fixed offset is set.
class DateFormatter {
 public:
  using Date = std::chrono::system_clock::time_point;

  static std::shared_ptr<DateFormatter> make(std::string dateFormat = "") {
    return std::make_shared<DateFormatter>(std::move(dateFormat));
  }
  explicit DateFormatter(std::string dateFormat = "");

  const std::string& dateFormat() const noexcept { return dateFormat_; }
  void setDateFormat(std::string dateFormat);

  // Seconds east of GMT; none means the local time zone.
  std::optional<std::chrono::seconds> timeZone() const noexcept { return timeZone_; }
  void setTimeZone(std::optional<std::chrono::seconds> secondsFromGMT) noexcept { timeZone_ = secondsFromGMT; }

  std::string string(Date date) const;
  // The date the whole text spells in the pattern; none when it does not match.
  std::optional<Date> date(std::string_view text) const;

  struct Field {
    char symbol;  // a pattern letter, or 0 for literal text
    std::string text;  // the letter run or the literal
  };

 private:
  std::string dateFormat_;
  std::vector<Field> fields_;
  std::optional<std::chrono::seconds> timeZone_;
};

}  // namespace platform
