#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "Fluvio/Sources/Util/AudioTime.hpp"
#include "Fluvio/Sources/Util/SampleTime.hpp"

namespace fluvio {
namespace {

using platform::AVAudioTime;
using platform::CMTime;

constexpr std::int64_t kNanoseconds = 1'000'000'000;

TEST(AudioTimeTests, AnchorsOnceAndRunsOnFromTheAnchor) {
  auto time = AudioTime::make();
  EXPECT_FALSE(time->hasAnchor());
  time->anchor(CMTime::make(48000, 48000), 48000);
  ASSERT_TRUE(time->hasAnchor());
  EXPECT_EQ(time->sampleTime(), 48000);
  EXPECT_EQ(time->sampleRate(), 48000);
  EXPECT_EQ(time->anchorTime()->hostTime(), 1'000'000'000u);
  EXPECT_EQ(time->anchorTime()->sampleTime(), 48000);

  time->anchor(CMTime::make(96000, 48000), 44100);  // already anchored
  EXPECT_EQ(time->sampleTime(), 48000);
  EXPECT_EQ(time->sampleRate(), 48000);

  time->advanced(1024);
  const auto now = time->at();
  EXPECT_EQ(now->sampleTime(), 49024);
  ASSERT_TRUE(now->isHostTimeValid());
  EXPECT_EQ(now->hostTime(), 1'000'000'000u + 21'333'333u);  // 1,024 / 48,000 s, to the nearest nanosecond
}

TEST(AudioTimeTests, StaysExactAfterDaysOfUptime) {
  auto time = AudioTime::make();
  const std::int64_t threeDays = 3LL * 86400 * kNanoseconds;
  time->anchor(CMTime::make(threeDays, kNanoseconds), 48000);
  EXPECT_EQ(time->sampleTime(), 3LL * 86400 * 48000);
  EXPECT_EQ(time->anchorTime()->hostTime(), static_cast<std::uint64_t>(threeDays));

  time->advanced(48000LL * 3600);  // an hour of samples
  EXPECT_EQ(time->at()->hostTime(), static_cast<std::uint64_t>(threeDays + 3600 * kNanoseconds));
}

TEST(AudioTimeTests, ConvertsTimesOfAnotherTimescaleByTruncation) {
  auto time = AudioTime::make();
  time->anchor(CMTime::make(1001, 30000), 48000);  // 1,601.6 samples
  EXPECT_EQ(time->sampleTime(), 1601);
  EXPECT_EQ(time->anchorTime()->hostTime(), 33'366'666u);
}

TEST(AudioTimeTests, RefusesAnchorsItCannotCompute) {
  auto time = AudioTime::make();
  time->anchor(CMTime{480, 0, CMTime::valid}, 48000);
  time->anchor(CMTime::invalid, 48000);
  time->anchor(CMTime::make(-48000, 48000), 48000);
  time->anchor(CMTime::make(48000, 48000), 0);
  time->anchor(CMTime::make(48000, 48000), std::numeric_limits<double>::quiet_NaN());
  time->anchor(CMTime::make(48000, 48000), 1e12);
  time->anchor(nullptr);
  EXPECT_FALSE(time->hasAnchor());
  EXPECT_EQ(time->sampleRate(), 0);
  EXPECT_EQ(time->sampleTime(), 0);
}

TEST(AudioTimeTests, TakesAnAudioTimeAsItsAnchorAndForgetsItOnReset) {
  auto time = AudioTime::make();
  time->anchor(AVAudioTime::make(5 * kNanoseconds, 220500, 44100));
  EXPECT_EQ(time->sampleRate(), 44100);
  EXPECT_EQ(time->sampleTime(), 220500);
  time->advanced(44100);
  EXPECT_EQ(time->at()->hostTime(), 6u * kNanoseconds);

  time->reset();
  EXPECT_FALSE(time->hasAnchor());
  EXPECT_EQ(time->sampleTime(), 0);
  EXPECT_EQ(time->sampleRate(), 0);
  // Without an anchor the time is the bare sample count.
  time->advanced(10);
  EXPECT_EQ(time->at()->sampleTime(), 10);
  EXPECT_FALSE(time->at()->isHostTimeValid());
}

TEST(SampleTimeTests, ConvertsWithoutOverflowAndRefusesWhatDoesNotFit) {
  EXPECT_EQ(makeSampleTime(CMTime::make(300, 48000), 48000), 300);
  EXPECT_EQ(makeSampleTime(CMTime::make(-1001, 30000), 48000), -1601);  // toward zero
  EXPECT_EQ(makeSampleTime(CMTime::make(std::numeric_limits<std::int64_t>::max(), kNanoseconds), 48000),
            442'721'857'769'029);
  EXPECT_FALSE(makeSampleTime(CMTime::make(std::numeric_limits<std::int64_t>::max(), 1), 48000));
  EXPECT_EQ(makeSampleTime(CMTime::make(2, 1), 22050.5), 44101);
  EXPECT_FALSE(makeSampleTime(CMTime::make(1, 1), -48000));
}

}  // namespace
}  // namespace fluvio
