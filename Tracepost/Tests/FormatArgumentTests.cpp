#include "Tracepost/Sources/FormatArgument.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace tracepost {
namespace {

TEST(FormatArgument, MatchingConversionsFormat) {
  EXPECT_EQ(FormatArgument(42).format("n=%d!"), "n=42!");
  EXPECT_EQ(FormatArgument(std::int64_t{-5000000000}).format("%d"), "-5000000000");
  EXPECT_EQ(FormatArgument(255u).format("%#06x"), "0x00ff");
  EXPECT_EQ(FormatArgument(std::uint8_t{7}).format("%lu"), "7") << "length modifiers follow the argument";
  EXPECT_EQ(FormatArgument(2.5).format("%.2f%%"), "2.50%");
  EXPECT_EQ(FormatArgument(2.5f).format("%g"), "2.5");
  EXPECT_EQ(FormatArgument("abc").format("[%5s]"), "[  abc]");
  EXPECT_EQ(FormatArgument(std::string("abcdef")).format("%.3s"), "abc");
  EXPECT_EQ(FormatArgument(65).format("%c"), "A");
  EXPECT_EQ(FormatArgument(1).format("100%% sure"), "100% sure") << "no conversion prints the literal";
}

TEST(FormatArgument, MismatchedFormatIsWrittenAsText) {
  EXPECT_EQ(FormatArgument(42).format("%s"), "%s");
  EXPECT_EQ(FormatArgument("text").format("%d"), "%d");
  EXPECT_EQ(FormatArgument(1.5).format("%x"), "%x");
  EXPECT_EQ(FormatArgument(7).format("%f"), "%f");
  EXPECT_EQ(FormatArgument(7).format("%d %d"), "%d %d") << "one argument, two conversions";
  EXPECT_EQ(FormatArgument(7).format("%*d"), "%*d");
  EXPECT_EQ(FormatArgument(7).format("%n"), "%n");
  EXPECT_EQ(FormatArgument(7).format("%@"), "%@");
  EXPECT_EQ(FormatArgument(7).format("trailing %"), "trailing %");
  EXPECT_EQ(FormatArgument(7).format("%99999999d"), "%99999999d") << "no unbounded width";
}

TEST(FormatArgument, NullCStringIsSafe) {
  const char* none = nullptr;
  EXPECT_EQ(FormatArgument(none).format("%s"), "(null)");
}

}  // namespace
}  // namespace tracepost
