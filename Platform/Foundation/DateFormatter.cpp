#include "Platform/Foundation/DateFormatter.hpp"

#include <algorithm>
#include <ctime>
#include <string_view>

namespace platform {

namespace {

using namespace std::chrono;

constexpr std::string_view fieldSymbols = "yMdHmsS";

struct CivilTime {
  int year = 1970;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

std::vector<DateFormatter::Field> parsePattern(std::string_view pattern) {
  std::vector<DateFormatter::Field> fields;
  auto appendLiteral = [&](char character) {
    if (fields.empty() || fields.back().symbol != 0) fields.push_back({0, {}});
    fields.back().text += character;
  };
  // Quoted text is literal; a doubled quote, inside or outside, is one quote.
  bool quoted = false;
  for (std::size_t index = 0; index < pattern.size();) {
    const char character = pattern[index];
    if (character == '\'') {
      const bool doubled = index + 1 < pattern.size() && pattern[index + 1] == '\'';
      if (doubled) appendLiteral('\'');
      if (!doubled) quoted = !quoted;
      index += doubled ? 2 : 1;
    } else if (!quoted && fieldSymbols.find(character) != std::string_view::npos) {
      const std::size_t end = pattern.find_first_not_of(character, index);
      const std::size_t length = (end == std::string_view::npos ? pattern.size() : end) - index;
      fields.push_back({character, std::string(length, character)});
      index += length;
    } else {
      appendLiteral(character);
      ++index;
    }
  }
  return fields;
}

CivilTime civilTime(DateFormatter::Date date, std::optional<seconds> timeZone) {
  const auto milliseconds = floor<std::chrono::milliseconds>(date);
  const auto wholeSeconds = floor<seconds>(milliseconds);
  CivilTime civil;
  civil.millisecond = static_cast<int>((milliseconds - wholeSeconds).count());
  if (timeZone) {
    const auto local = wholeSeconds + *timeZone;
    const auto day = floor<days>(local);
    const year_month_day calendar(day);
    const hh_mm_ss clock(local - day);
    civil.year = static_cast<int>(calendar.year());
    civil.month = static_cast<int>(static_cast<unsigned>(calendar.month()));
    civil.day = static_cast<int>(static_cast<unsigned>(calendar.day()));
    civil.hour = static_cast<int>(clock.hours().count());
    civil.minute = static_cast<int>(clock.minutes().count());
    civil.second = static_cast<int>(clock.seconds().count());
  } else {
    // Straight from the count: the earliest Date, floored to whole seconds, is
    // below what the clock's own duration holds.
    const auto time = static_cast<std::time_t>(wholeSeconds.time_since_epoch().count());
    std::tm local{};
    localtime_r(&time, &local);
    civil.year = local.tm_year + 1900;
    civil.month = local.tm_mon + 1;
    civil.day = local.tm_mday;
    civil.hour = local.tm_hour;
    civil.minute = local.tm_min;
    civil.second = local.tm_sec;
  }
  return civil;
}

// Years the pattern can spell lie outside what a Date holds (about 1677 to
// 2262); such a time is clamped to the nearest one it can hold.
DateFormatter::Date clampedDate(sys_time<milliseconds> time) {
  constexpr auto earliest = ceil<milliseconds>(DateFormatter::Date::min());
  constexpr auto latest = floor<milliseconds>(DateFormatter::Date::max());
  return DateFormatter::Date(std::clamp(time, earliest, latest));
}

std::optional<DateFormatter::Date> dateOf(const CivilTime& civil, std::optional<seconds> timeZone) {
  if (civil.year > 9999 || civil.month < 1 || civil.month > 12 || civil.day < 1 || civil.day > 31) return std::nullopt;
  const year_month_day calendar{year(civil.year), month(static_cast<unsigned>(civil.month)),
                                day(static_cast<unsigned>(civil.day))};
  if (!calendar.ok() || civil.hour > 23 || civil.minute > 59 || civil.second > 59) return std::nullopt;
  const milliseconds sinceMidnight =
      hours(civil.hour) + minutes(civil.minute) + seconds(civil.second) + milliseconds(civil.millisecond);
  if (timeZone) return clampedDate(sys_days(calendar) + sinceMidnight - *timeZone);
  std::tm local{};
  local.tm_year = civil.year - 1900;
  local.tm_mon = civil.month - 1;
  local.tm_mday = civil.day;
  local.tm_hour = civil.hour;
  local.tm_min = civil.minute;
  local.tm_sec = civil.second;
  local.tm_isdst = -1;
  const std::time_t time = std::mktime(&local);
  return clampedDate(sys_seconds(seconds(time)) + milliseconds(civil.millisecond));
}

void appendPadded(std::string& text, long value, std::size_t width) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  if (value < 0) text += '-';
  if (digits.size() < width) text.append(width - digits.size(), '0');
  text += digits;
}

// The first `width` digits of the three-digit millisecond, zeros beyond.
void appendFraction(std::string& text, int millisecond, std::size_t width) {
  std::string digits;
  appendPadded(digits, millisecond, 3);
  digits.resize(width, '0');
  text += digits;
}

}  // namespace

DateFormatter::DateFormatter(std::string dateFormat) { setDateFormat(std::move(dateFormat)); }

void DateFormatter::setDateFormat(std::string dateFormat) {
  fields_ = parsePattern(dateFormat);
  dateFormat_ = std::move(dateFormat);
}

std::string DateFormatter::string(Date date) const {
  const CivilTime civil = civilTime(date, timeZone_);
  std::string text;
  for (const Field& field : fields_) {
    const std::size_t width = field.text.size();
    switch (field.symbol) {
      case 0: text += field.text; break;
      case 'y': appendPadded(text, width == 2 ? civil.year % 100 : civil.year, width); break;
      case 'M': appendPadded(text, civil.month, width); break;
      case 'd': appendPadded(text, civil.day, width); break;
      case 'H': appendPadded(text, civil.hour, width); break;
      case 'm': appendPadded(text, civil.minute, width); break;
      case 's': appendPadded(text, civil.second, width); break;
      case 'S': appendFraction(text, civil.millisecond, width); break;
    }
  }
  return text;
}

std::optional<DateFormatter::Date> DateFormatter::date(std::string_view text) const {
  CivilTime civil;
  std::size_t position = 0;
  for (const Field& field : fields_) {
    if (field.symbol == 0) {
      if (text.substr(position, field.text.size()) != field.text) return std::nullopt;
      position += field.text.size();
      continue;
    }
    // A single letter takes one or more digits (up to four for a year, two
    // otherwise); a longer run takes exactly that many.
    const std::size_t width = field.text.size();
    const std::size_t most = width > 1 ? width : field.symbol == 'y' ? 4 : 2;
    const std::size_t start = position;
    while (position - start < most && position < text.size() && text[position] >= '0' && text[position] <= '9') {
      ++position;
    }
    const std::string_view digits = text.substr(start, position - start);
    if (digits.empty() || (width > 1 && digits.size() != width)) return std::nullopt;
    if (field.symbol == 'S') {
      // Only milliseconds are kept: the first three digits, zeros beyond.
      std::string milliseconds(digits.substr(0, 3));
      milliseconds.resize(3, '0');
      civil.millisecond = std::stoi(milliseconds);
      continue;
    }
    if (digits.size() > 9) return std::nullopt;
    const int value = std::stoi(std::string(digits));
    switch (field.symbol) {
      case 'y': civil.year = width == 2 ? 2000 + value : value; break;
      case 'M': civil.month = value; break;
      case 'd': civil.day = value; break;
      case 'H': civil.hour = value; break;
      case 'm': civil.minute = value; break;
      case 's': civil.second = value; break;
    }
  }
  if (position != text.size()) return std::nullopt;
  return dateOf(civil, timeZone_);
}

}  // namespace platform
