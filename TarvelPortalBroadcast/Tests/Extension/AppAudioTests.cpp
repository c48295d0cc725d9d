#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "Platform/CoreMedia/HostClock.hpp"
#include "Platform/ReplayKit/Service/AudioSource.hpp"
#include "TarvelPortalBroadcast/Sources/AppAudio.hpp"

namespace tarvelportalbroadcast {
namespace {

constexpr std::uint64_t start = 5'000'000'000;
constexpr std::uint64_t frameNanoseconds = 1'000'000'000 / 48'000;
// The first picture whose priming ends at `time`.
std::uint64_t pictureBefore(double time) { return static_cast<std::uint64_t>(time - 1024 * 1e9 / 48'000); }

// `frames` frames at 48 kHz whose samples count up from `first` in every channel.
std::shared_ptr<platform::CMSampleBuffer> countingBuffer(int channels = 2, std::int16_t frames = 1024,
                                                         std::int16_t first = 0) {
  std::vector<std::int16_t> samples;
  for (std::int16_t frame = 0; frame < frames; ++frame) samples.insert(samples.end(), channels, first + frame);
  return platform::broadcastservice::makeAudioSampleBuffer(platform::broadcastservice::makeAudioFormat(channels),
                                                           samples, start);
}

const std::int16_t* samplesOf(const AppAudio& audio) {
  return static_cast<const std::int16_t*>(audio.buffer->audioBufferList()->mBuffers[0].mData);
}

TEST(AppAudio, KeepsTheFramesFromTheEndOfTheEncodersPrimingOnAndTimesTheFirst) {
  const auto buffer = countingBuffer();
  ASSERT_TRUE(buffer);
  // How many leading frames go for each start.
  struct Case {
    std::uint64_t notBefore;
    std::uint32_t skipped;
  };
  for (const auto& [notBefore, skipped] : {
           Case{1'000'000'000, 0},
           Case{start, 0},
           // Partway into a frame: that frame began too early.
           Case{start + 1, 1},
           Case{start + 10 * frameNanoseconds, 10},
           Case{start + 1023 * frameNanoseconds, 1023},
       }) {
    const auto audio = AppAudioMaker().make(*buffer, pictureBefore(static_cast<double>(notBefore)));
    ASSERT_TRUE(audio) << notBefore;
    const auto frames = 1024 - skipped;
    EXPECT_EQ(audio->buffer->frameLength(), frames) << notBefore;
    EXPECT_EQ(audio->buffer->format()->channelCount(), 2u);
    const auto* samples = samplesOf(*audio);
    EXPECT_EQ(samples[0], static_cast<std::int16_t>(skipped));
    EXPECT_EQ(samples[1], static_cast<std::int16_t>(skipped));
    EXPECT_EQ(samples[2 * (frames - 1)], 1023);
    EXPECT_NEAR(static_cast<double>(audio->when->hostTime()), start + skipped * 1e9 / 48'000, 1) << notBefore;
  }
}

TEST(AppAudio, NothingWhenEveryFrameIsEarlierOrTheBufferIsNotPCM) {
  const auto buffer = countingBuffer();
  ASSERT_TRUE(buffer);
  AppAudioMaker maker;
  EXPECT_FALSE(maker.make(*buffer, start));
  EXPECT_FALSE(maker.make(*buffer, UINT64_MAX));
  const auto picture = platform::CMSampleBuffer::makeAudio(nullptr, 1, platform::HostClock::time(start));
  if (picture.value) EXPECT_FALSE(maker.make(*picture.value, 0));
}

// The stream may still hold a buffer handed out before: only one it has let
// go of is filled again.
TEST(AppAudio, ReusesABufferOnlyOnceTheStreamHasLetGoOfIt) {
  AppAudioMaker maker;
  auto first = maker.make(*countingBuffer(2, 1024, 0), 0);
  auto second = maker.make(*countingBuffer(2, 1024, 100), 0);
  ASSERT_TRUE(first && second);
  EXPECT_NE(first->buffer, second->buffer);
  EXPECT_EQ(samplesOf(*first)[0], 0);
  EXPECT_EQ(samplesOf(*second)[0], 100);

  const auto* released = first->buffer.get();
  first.reset();
  const auto third = maker.make(*countingBuffer(2, 1024, 200), 0);
  ASSERT_TRUE(third);
  EXPECT_EQ(third->buffer.get(), released);
  EXPECT_EQ(samplesOf(*third)[0], 200);
  EXPECT_EQ(samplesOf(*third)[2 * 1023], 200 + 1023);
  EXPECT_EQ(samplesOf(*second)[0], 100);
  // The format is made once while the sample buffers' description is equal.
  EXPECT_EQ(third->buffer->format(), second->buffer->format());
}

// A new description brings a new format, and a longer sample buffer a
// buffer with room for all of it; what came before is not reused.
TEST(AppAudio, AnotherFormatOrALongerBufferIsNotPutIntoAnOldBuffer) {
  AppAudioMaker maker;
  auto stereo = maker.make(*countingBuffer(2, 1024), 0);
  ASSERT_TRUE(stereo);
  stereo.reset();

  const auto mono = maker.make(*countingBuffer(1, 1024, 7), 0);
  ASSERT_TRUE(mono);
  EXPECT_EQ(mono->buffer->format()->channelCount(), 1u);
  EXPECT_EQ(samplesOf(*mono)[1023], 7 + 1023);

  auto longer = maker.make(*countingBuffer(1, 3000, 1), 0);
  ASSERT_TRUE(longer);
  EXPECT_EQ(longer->buffer->frameLength(), 3000u);
  EXPECT_EQ(samplesOf(*longer)[2999], 3000);
  EXPECT_EQ(longer->buffer->format(), mono->buffer->format());

  // Shorter ones fit the longer buffers.
  const auto* longBuffer = longer->buffer.get();
  longer.reset();
  const auto shorter = maker.make(*countingBuffer(1, 512, 3), 0);
  ASSERT_TRUE(shorter);
  EXPECT_EQ(shorter->buffer.get(), longBuffer);
  EXPECT_EQ(shorter->buffer->frameLength(), 512u);
  EXPECT_EQ(samplesOf(*shorter)[511], 3 + 511);
}

}  // namespace
}  // namespace tarvelportalbroadcast
