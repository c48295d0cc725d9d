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

// 1,024 stereo frames at 48 kHz whose left and right samples count up from 0.
std::shared_ptr<platform::CMSampleBuffer> countingBuffer() {
  std::vector<std::int16_t> samples;
  for (std::int16_t frame = 0; frame < 1024; ++frame) samples.insert(samples.end(), {frame, frame});
  return platform::broadcastservice::makeAudioSampleBuffer(platform::broadcastservice::makeAudioFormat(2), samples,
                                                           start);
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
    const auto audio = makeAppAudio(*buffer, pictureBefore(static_cast<double>(notBefore)));
    ASSERT_TRUE(audio) << notBefore;
    const auto frames = 1024 - skipped;
    EXPECT_EQ(audio->buffer->frameLength(), frames) << notBefore;
    EXPECT_EQ(audio->buffer->format()->channelCount(), 2u);
    const auto* samples = static_cast<const std::int16_t*>(audio->buffer->audioBufferList()->mBuffers[0].mData);
    EXPECT_EQ(samples[0], static_cast<std::int16_t>(skipped));
    EXPECT_EQ(samples[1], static_cast<std::int16_t>(skipped));
    EXPECT_EQ(samples[2 * (frames - 1)], 1023);
    EXPECT_NEAR(static_cast<double>(audio->when->hostTime()), start + skipped * 1e9 / 48'000, 1) << notBefore;
  }
}

TEST(AppAudio, NothingWhenEveryFrameIsEarlierOrTheBufferIsNotPCM) {
  const auto buffer = countingBuffer();
  ASSERT_TRUE(buffer);
  EXPECT_FALSE(makeAppAudio(*buffer, start));
  EXPECT_FALSE(makeAppAudio(*buffer, UINT64_MAX));
  const auto picture = platform::CMSampleBuffer::makeAudio(nullptr, 1, platform::HostClock::time(start));
  if (picture.value) EXPECT_FALSE(makeAppAudio(*picture.value, 0));
}

}  // namespace
}  // namespace tarvelportalbroadcast
