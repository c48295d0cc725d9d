#include <gtest/gtest.h>

#include "RTMPFluvio/Sources/RTMP/RTMPPeerLogLimit.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPPeerText.hpp"

namespace rtmpfluvio {
namespace {

using namespace std::chrono_literals;

TEST(RTMPPeerTextTests, EscapesWhatATerminalOrLogReaderWouldActOnAndCapsTheLength) {
  EXPECT_EQ(peerText("onMetaData"), "onMetaData");
  EXPECT_EQ(peerText(std::string_view("a\nb\r\0c\x1b[2J\\\x7f\xc3\xa9", 14)),
            "a\\x0ab\\x0d\\x00c\\x1b[2J\\x5c\\x7f\\xc3\\xa9");
  EXPECT_EQ(peerText(std::string(64, 'x')), std::string(64, 'x'));
  EXPECT_EQ(peerText(std::string(65, 'x')), std::string(64, 'x') + "... (1 more bytes)");
  EXPECT_EQ(peerText("abcdef", 3), "abc... (3 more bytes)");
  EXPECT_EQ(peerText(""), "");
}

TEST(RTMPPeerTextTests, LogLimitAdmitsSoManyLinesPerIntervalThenSaysHowManyItLeftOut) {
  const RTMPPeerLogLimit::Clock::time_point start{};
  RTMPPeerLogLimit limit(3, 10s);
  for (int line = 0; line < 3; ++line) {
    const auto admission = limit.admit(start + line * 1s);
    EXPECT_TRUE(admission) << line;
    EXPECT_EQ(admission.summary(), "");
  }
  for (int line = 0; line < 5; ++line) EXPECT_FALSE(limit.admit(start + 9s)) << "not before the interval ends";
  const auto next = limit.admit(start + 10s);
  ASSERT_TRUE(next);
  EXPECT_EQ(next.suppressed(), 5u);
  EXPECT_EQ(next.summary(), "(5 similar lines suppressed) ");
  const auto after = limit.admit(start + 11s);
  ASSERT_TRUE(after);
  EXPECT_EQ(after.suppressed(), 0u) << "the summary comes once";
  EXPECT_TRUE(limit.admit(start + 12s));
  EXPECT_FALSE(limit.admit(start + 19s)) << "the new interval began at 10 s";
  EXPECT_TRUE(limit.admit(start + 20s));
}

}  // namespace
}  // namespace rtmpfluvio
