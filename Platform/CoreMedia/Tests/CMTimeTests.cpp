#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Platform/CoreMedia/CMTime.hpp"
#include "Platform/CoreMedia/HostClock.hpp"

using platform::CMTime;
using platform::HostClock;

TEST(CMTimeTests, ComparesExactlyAcrossTimescales) {
  EXPECT_EQ(CMTime::make(1, 2), CMTime::make(500, 1000));
  EXPECT_LT(CMTime::make(333, 1000), CMTime::make(1, 3));
  EXPECT_GT(CMTime::make(334, 1000), CMTime::make(1, 3));
  // Values whose doubles would round to the same number still order exactly.
  EXPECT_LT(CMTime::make(9007199254740993, 1000000000), CMTime::make(9007199254740994, 1000000000));
  EXPECT_LT(CMTime::make(std::numeric_limits<std::int64_t>::max() - 1, 7),
            CMTime::make(std::numeric_limits<std::int64_t>::max(), 7));
  EXPECT_EQ(CMTime::zero, CMTime::make(0, 48000));
}

TEST(CMTimeTests, InvalidTimesEqualEachOtherAndSortLast) {
  EXPECT_EQ(CMTime::invalid, CMTime::make(5, 0));
  EXPECT_FALSE(CMTime::make(5, -1).isValid());
  EXPECT_GT(CMTime::invalid, CMTime::make(std::numeric_limits<std::int64_t>::max(), 1));
  EXPECT_TRUE(std::isnan(CMTime::invalid.seconds()));
  EXPECT_EQ(CMTime::invalid + CMTime::zero, CMTime::invalid);
  EXPECT_FALSE((CMTime::zero - CMTime::invalid).isValid());
}

TEST(CMTimeTests, ArithmeticIsExactInTheCommonTimescale) {
  const CMTime sum = CMTime::make(1, 3) + CMTime::make(1, 2);
  EXPECT_EQ(sum.value, 5);
  EXPECT_EQ(sum.timescale, 6);
  EXPECT_EQ(CMTime::make(1024, 48000) + CMTime::make(1024, 48000), CMTime::make(2048, 48000));
  EXPECT_EQ(CMTime::make(1, 1) - CMTime::make(1, 30), CMTime::make(29, 30));
  EXPECT_EQ((CMTime::make(1, 1000) - CMTime::make(2, 1000)).value, -1);
}

TEST(CMTimeTests, ArithmeticRoundsOnlyWhenTheCommonTimescaleOverflows) {
  // 2147483647 and 2147483646 are coprime: their common scale does not fit.
  const CMTime sum = CMTime::make(1, 2147483647) + CMTime::make(1, 2147483646);
  EXPECT_EQ(sum.timescale, 2147483647);
  EXPECT_EQ(sum.value, 2);
  EXPECT_TRUE(sum.flags & CMTime::hasBeenRounded);
  EXPECT_FALSE((CMTime::make(1, 3) + CMTime::make(1, 2)).flags & CMTime::hasBeenRounded);
  EXPECT_FALSE((CMTime::make(std::numeric_limits<std::int64_t>::max(), 1) + CMTime::make(1, 1)).isValid());
}

TEST(CMTimeTests, ConvertsFromSecondsAndBetweenScales) {
  EXPECT_EQ(CMTime::makeWithSeconds(0.033, 1000), CMTime::make(33, 1000));
  EXPECT_EQ(CMTime::makeWithSeconds(1.0 / 3.0, 3), CMTime::make(1, 3));
  EXPECT_EQ(CMTime::makeWithSeconds(-0.0015, 1000).value, -2);  // half away from zero
  EXPECT_TRUE(CMTime::makeWithSeconds(0.0015, 1000).flags & CMTime::hasBeenRounded);
  EXPECT_FALSE(CMTime::makeWithSeconds(std::nan(""), 1000).isValid());
  EXPECT_FALSE(CMTime::makeWithSeconds(1e300, 1000).isValid());
  EXPECT_FALSE(CMTime::makeWithSeconds(1.0, 0).isValid());

  EXPECT_EQ(CMTime::make(1, 3).convertScale(1000).value, 333);
  EXPECT_EQ(CMTime::make(2, 3).convertScale(1000).value, 667);
  EXPECT_EQ(CMTime::make(-5, 10).convertScale(1).value, -1);
  EXPECT_EQ(CMTime::make(48000, 48000).convertScale(1000000000).value, 1000000000);
  EXPECT_DOUBLE_EQ(CMTime::make(3, 4).seconds(), 0.75);
}

TEST(HostClockTests, HostTimeIsNanosecondsAndConvertsExactly) {
  EXPECT_EQ(HostClock::hostTime(1.0), 1000000000u);
  EXPECT_EQ(HostClock::hostTime(HostClock::seconds(123456789012345)), 123456789012345u);
  // As a media time the host time stays exact after any uptime.
  const std::uint64_t afterMonths = 200ull * 86400 * 1000000000 + 1;
  EXPECT_EQ(HostClock::time(afterMonths) - CMTime::make(200 * 86400, 1), CMTime::make(1, 1000000000));
  EXPECT_EQ(HostClock::hostTime(-1.0), 0u);
  EXPECT_EQ(HostClock::hostTime(std::nan("")), 0u);
  EXPECT_EQ(HostClock::hostTime(1e30), std::numeric_limits<std::uint64_t>::max());

  const std::uint64_t first = HostClock::now();
  EXPECT_GE(HostClock::now(), first);
}
