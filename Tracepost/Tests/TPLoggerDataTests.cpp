#include "Tracepost/Sources/TPLoggerData.hpp"

#include <gtest/gtest.h>

#include <string_view>

#include "Tracepost/Tests/Support/RecordingAppender.hpp"

namespace tracepost {
namespace {

using testing::FixedClock;
using testing::fixedNow;

std::optional<TPLogger::Data> read(std::string_view line) {
  return TPLogger::Data::from({reinterpret_cast<const std::uint8_t*>(line.data()), line.size()});
}

class TPLoggerDataTest : public ::testing::Test {
 protected:
  FixedClock clock;
};

TEST_F(TPLoggerDataTest, ReadsAllSevenFields) {
  const auto data = read("2024-17-03 14:07:09.042\tInfo\tcom.fluvio.Fluvio\t/src/Net/Socket.ext\t-12\tsend\ta\tb");
  ASSERT_TRUE(data);
  EXPECT_EQ(data->date, fixedNow()) << "day before month, to the millisecond";
  EXPECT_EQ(data->level, TPLogger::Level::info);
  EXPECT_EQ(data->identifier, "com.fluvio.Fluvio");
  EXPECT_EQ(data->file, "/src/Net/Socket.ext");
  EXPECT_EQ(data->line, -12);
  EXPECT_EQ(data->function, "send");
  EXPECT_EQ(data->message, "a\tb");
  EXPECT_EQ(data->description(), "2024-17-03 14:07:09.042 [Info] [com.fluvio.Fluvio] [Socket.ext:-12] send > a\tb");
}

TEST_F(TPLoggerDataTest, KeepsEmptyFieldsAndTabRuns) {
  const auto data = read("2024-17-03 14:07:09.042\tWarn\t\t\t7\t\t\t\tx\t\t");
  ASSERT_TRUE(data);
  EXPECT_EQ(data->identifier, "");
  EXPECT_EQ(data->file, "");
  EXPECT_EQ(data->line, 7);
  EXPECT_EQ(data->function, "");
  EXPECT_EQ(data->message, "\t\tx\t\t");
  const auto empty = read("d\tError\tid\tf\t1\tfn\t");
  ASSERT_TRUE(empty) << "an empty message is still a record";
  EXPECT_EQ(empty->message, "");
}

TEST_F(TPLoggerDataTest, RejectsShortLinesAndInvalidUTF8) {
  EXPECT_FALSE(read("a\tInfo\tid\tf\t1\tfn"));
  EXPECT_FALSE(read(""));
  EXPECT_FALSE(read("a\tInfo\tid\tf\t1\tfn\t\xC3\x28"));
  EXPECT_FALSE(read("a\tInfo\tid\tf\t1\tfn\t\xED\xA0\x80")) << "a surrogate is not UTF-8";
  EXPECT_TRUE(read("a\tInfo\tid\tf\t1\tfn\t\xC3\xA9\xF0\x9F\x98\x80"));
}

TEST_F(TPLoggerDataTest, FallsBackForUnreadableFields) {
  const auto data = read("17/03/2024\tVerbose\tid\tf\t12x\tfn\tm");
  ASSERT_TRUE(data);
  EXPECT_EQ(data->date, fixedNow()) << "the time of reading";
  EXPECT_EQ(data->level, TPLogger::Level::trace);
  EXPECT_EQ(data->line, 0);
  for (const char* line : {"+5", "-7", "+-5", "-", "+", "", " 5", "9223372036854775808", "-9223372036854775808"}) {
    const auto parsed = read(std::string("d\tInfo\tid\tf\t") + line + "\tfn\tm");
    ASSERT_TRUE(parsed);
    const std::string_view text(line);
    const std::int64_t expected = text == "+5" ? 5 : text == "-7" ? -7 : text.starts_with("-92") ? INT64_MIN : 0;
    EXPECT_EQ(parsed->line, expected) << line;
  }
}

TEST_F(TPLoggerDataTest, DatesBeyondTheClockRangeAreClamped) {
  using namespace std::chrono;
  using Date = system_clock::time_point;
  const auto at = [](std::string_view date) {
    const auto data = read(std::string(date) + "\tInfo\tid\tf\t1\tfn\tm");
    EXPECT_TRUE(data) << date;
    return data ? data->date : Date();
  };
  const auto day = [](int y, unsigned m, unsigned d) { return Date(sys_days(year(y) / m / d)); };
  EXPECT_EQ(at("2262-01-04 00:00:00.000"), day(2262, 4, 1)) << "the last years a clock holds";
  EXPECT_EQ(at("1678-01-01 00:00:00.000"), day(1678, 1, 1));
  EXPECT_EQ(at("2263-01-01 00:00:00.000"), floor<milliseconds>(Date::max()));
  EXPECT_EQ(at("9999-31-12 23:59:59.999"), floor<milliseconds>(Date::max()));
  EXPECT_EQ(at("1677-01-01 00:00:00.000"), ceil<milliseconds>(Date::min()));
  EXPECT_EQ(at("0000-01-01 00:00:00.000"), ceil<milliseconds>(Date::min()));
}

TEST_F(TPLoggerDataTest, TerminatorLeftOnStaysInTheMessage) {
  const auto data = read("d\tInfo\tid\tf\t1\tfn\tm\r\n\r\n");
  ASSERT_TRUE(data);
  EXPECT_EQ(data->message, "m\r\n\r\n");
}

}  // namespace
}  // namespace tracepost
