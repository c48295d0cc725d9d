#include "Platform/Foundation/DateFormatter.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace platform {
namespace {

using namespace std::chrono;

// 2024-03-17 14:07:09.042 UTC.
const DateFormatter::Date instant = sys_days(year(2024) / 3 / 17) + 14h + 7min + 9s + 42ms;

class DateFormatterTest : public ::testing::Test {
 protected:
  void useTimeZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }
  void SetUp() override { useTimeZone("UTC0"); }

  DateFormatter formatter{"yyyy-dd-MM HH:mm:ss.SSS"};
};

TEST_F(DateFormatterTest, FormatsDayBeforeMonthWithMilliseconds) {
  EXPECT_EQ(formatter.string(instant), "2024-17-03 14:07:09.042");
  EXPECT_EQ(formatter.string(sys_days(year(1969) / 12 / 31) + 23h + 59min + 59s + 999ms), "1969-31-12 23:59:59.999")
      << "before 1970 milliseconds still count forward";
}

TEST_F(DateFormatterTest, ParsesWhatItFormats) {
  EXPECT_EQ(formatter.date("2024-17-03 14:07:09.042"), instant);
  EXPECT_EQ(formatter.date(formatter.string(instant + 958ms)), instant + 958ms);
}

TEST_F(DateFormatterTest, FollowsTheLocalTimeZoneUnlessOneIsSet) {
  useTimeZone("EST5");
  EXPECT_EQ(formatter.string(instant), "2024-17-03 09:07:09.042");
  EXPECT_EQ(formatter.date("2024-17-03 09:07:09.042"), instant);
  formatter.setTimeZone(hours(2));
  EXPECT_EQ(formatter.string(instant), "2024-17-03 16:07:09.042");
  EXPECT_EQ(formatter.date("2024-17-03 16:07:09.042"), instant);
}

TEST_F(DateFormatterTest, RejectsTextOutsideThePattern) {
  for (const char* text : {"", "2024-03-17 14:07:09.042", "2024-17-03 14:07:09.04", "2024-17-03 14:07:09.0420",
                           "2024-17-13 14:07:09.042", "2024-30-02 14:07:09.042", "2024-17-03 24:00:00.000",
                           "2024-17-03 14:60:09.042", "2024-17-03T14:07:09.042", "2024-17-03 14:07:09.042 ",
                           "20x4-17-03 14:07:09.042"}) {
    EXPECT_FALSE(formatter.date(text)) << text;
  }
}

TEST_F(DateFormatterTest, ClampsYearsADateCannotHoldAndFormatsTheBounds) {
  const auto earliest = ceil<milliseconds>(DateFormatter::Date::min());
  const auto latest = floor<milliseconds>(DateFormatter::Date::max());
  for (const bool zoneSet : {false, true}) {
    if (zoneSet) formatter.setTimeZone(hours(0));
    EXPECT_EQ(formatter.date("1151-11-01 11:11:11.919"), earliest) << zoneSet;
    EXPECT_EQ(formatter.date("9999-31-12 23:59:59.999"), latest) << zoneSet;
    EXPECT_EQ(formatter.string(earliest), "1677-21-09 00:12:43.146") << zoneSet;
    EXPECT_EQ(formatter.string(latest), "2262-11-04 23:47:16.854") << zoneSet;
    EXPECT_EQ(formatter.date("1677-22-09 00:00:00.001"), sys_days(year(1677) / 9 / 22) + 1ms)
        << zoneSet << ": inside the bounds nothing moves";
    EXPECT_EQ(formatter.date("2262-10-04 23:59:59.999"), sys_days(year(2262) / 4 / 10) + 23h + 59min + 59s + 999ms)
        << zoneSet;
  }
}

TEST_F(DateFormatterTest, OtherPatterns) {
  DateFormatter other("'at' d/M/yy H:m 'o''clock' S");
  EXPECT_EQ(other.string(instant), "at 17/3/24 14:7 o'clock 0");
  EXPECT_EQ(other.date("at 17/3/24 14:7 o'clock 0"), instant - 9s - 42ms);
  other.setDateFormat("SSSSSS");
  EXPECT_EQ(other.dateFormat(), "SSSSSS");
  EXPECT_EQ(other.string(instant), "042000");
}

}  // namespace
}  // namespace platform
