#include <gtest/gtest.h>

#include <cstdint>

#include "Platform/AVFAudio/AVAudioTime.hpp"

namespace platform {
namespace {

constexpr std::uint64_t second = 1'000'000'000;

TEST(AVAudioTimeTests, SampleTimeGainsTheHostTimeOfItsOffsetFromTheAnchor) {
  const auto anchor = AVAudioTime::make(second, 48000, 48000);
  const auto later = AVAudioTime::make(49024, 48000)->extrapolateTime(*anchor);
  ASSERT_TRUE(later);
  EXPECT_TRUE(later->isHostTimeValid());
  EXPECT_TRUE(later->isSampleTimeValid());
  EXPECT_EQ(later->sampleTime(), 49024);
  EXPECT_EQ(later->sampleRate(), 48000);
  // 1024 / 48000 s = 21,333,333.3 ns.
  EXPECT_EQ(later->hostTime(), second + 21'333'333);

  // 2 / 48000 s = 41,666.7 ns rounds up; earlier samples round symmetrically.
  EXPECT_EQ(AVAudioTime::make(48002, 48000)->extrapolateTime(*anchor)->hostTime(), second + 41'667);
  EXPECT_EQ(AVAudioTime::make(47998, 48000)->extrapolateTime(*anchor)->hostTime(), second - 41'667);
}

TEST(AVAudioTimeTests, HostTimeGainsTheSampleTimeOfItsOffsetFromTheAnchor) {
  const auto anchor = AVAudioTime::make(5 * second, 1000, 44100);
  const auto later = AVAudioTime::make(6 * second)->extrapolateTime(*anchor);
  ASSERT_TRUE(later);
  EXPECT_EQ(later->hostTime(), 6 * second);
  EXPECT_EQ(later->sampleTime(), 45100);
  EXPECT_EQ(later->sampleRate(), 44100);
  EXPECT_EQ(AVAudioTime::make(4 * second)->extrapolateTime(*anchor)->sampleTime(), 1000 - 44100);
}

TEST(AVAudioTimeTests, SampleTimesSurviveTheRoundTripThroughHostTime) {
  const auto anchor = AVAudioTime::make(10 * second + 123'456'789, 777, 44100);
  for (AVAudioFramePosition sample = -5000; sample <= 5000; sample += 7) {
    const auto withHost = AVAudioTime::make(sample, 44100)->extrapolateTime(*anchor);
    ASSERT_TRUE(withHost);
    const auto back = AVAudioTime::make(withHost->hostTime())->extrapolateTime(*anchor);
    ASSERT_EQ(back->sampleTime(), sample);
  }
}

TEST(AVAudioTimeTests, StaysExactAfterDaysOfUptime) {
  constexpr std::uint64_t thirtyDays = 30ull * 86400 * second;
  constexpr AVAudioFramePosition thirtyDaysOfSamples = 30ll * 86400 * 48000;
  const auto anchor = AVAudioTime::make(thirtyDays, thirtyDaysOfSamples, 48000);
  // A further 30 days: the offset times 10^9 no longer fits 64 bits.
  const auto later = AVAudioTime::make(2 * thirtyDaysOfSamples + 3, 48000)->extrapolateTime(*anchor);
  ASSERT_TRUE(later);
  EXPECT_EQ(later->hostTime(), 2 * thirtyDays + 62'500);
  const auto back = AVAudioTime::make(2 * thirtyDays + 62'500)->extrapolateTime(*anchor);
  EXPECT_EQ(back->sampleTime(), 2 * thirtyDaysOfSamples + 3);
}

TEST(AVAudioTimeTests, SampleTimesAtAnotherRateAreRescaledToTheAnchor) {
  const auto anchor = AVAudioTime::make(second, 0, 48000);
  const auto at44100 = AVAudioTime::make(44100, 44100)->extrapolateTime(*anchor);
  ASSERT_TRUE(at44100);
  EXPECT_EQ(at44100->hostTime(), 2 * second);
  EXPECT_EQ(at44100->sampleTime(), 44100);
  EXPECT_EQ(at44100->sampleRate(), 44100);

  const auto hostAt44100 = AVAudioTime::make(3 * second, 0, 44100);
  EXPECT_EQ(AVAudioTime::make(3 * second)->extrapolateTime(*anchor)->sampleTime(), 96000);
  EXPECT_EQ(hostAt44100->extrapolateTime(*anchor)->sampleTime(), 0);
}

TEST(AVAudioTimeTests, GivesNothingWithoutWhatTheFillNeeds) {
  const auto complete = AVAudioTime::make(second, 100, 48000);
  EXPECT_FALSE(AVAudioTime::make(100, 48000)->extrapolateTime(*AVAudioTime::make(second)));
  EXPECT_FALSE(AVAudioTime::make(second)->extrapolateTime(*AVAudioTime::make(100, 48000)));
  EXPECT_FALSE(AVAudioTime::make(100, 48000)->extrapolateTime(*AVAudioTime::make(second, 100, 0)));
  EXPECT_FALSE(AVAudioTime::make(100, 0)->extrapolateTime(*complete));
  // Before host time 0, and beyond the 64-bit range.
  EXPECT_FALSE(AVAudioTime::make(100 - 96000, 48000)->extrapolateTime(*complete));
  EXPECT_FALSE(AVAudioTime::make(INT64_MAX, 48000)->extrapolateTime(*AVAudioTime::make(second, INT64_MIN, 48000)));

  const auto already = AVAudioTime::make(7, 8, 16000)->extrapolateTime(*complete);
  ASSERT_TRUE(already);
  EXPECT_EQ(already->hostTime(), 7u);
  EXPECT_EQ(already->sampleTime(), 8);
}

TEST(AVAudioTimeTests, HostTimeIsNanosecondsOfTheHostClock) {
  EXPECT_EQ(AVAudioTime::hostTime(1.5), 1'500'000'000u);
  EXPECT_EQ(AVAudioTime::seconds(2'250'000'000), 2.25);
  const auto hostOnly = AVAudioTime::make(42);
  EXPECT_FALSE(hostOnly->isSampleTimeValid());
  EXPECT_EQ(hostOnly->sampleRate(), 0);
  EXPECT_FALSE(AVAudioTime::make(1, 48000)->isHostTimeValid());
}

}  // namespace
}  // namespace platform
