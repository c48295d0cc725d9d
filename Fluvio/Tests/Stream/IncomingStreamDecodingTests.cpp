#include <gtest/gtest.h>

#include <chrono>
#include <atomic>
#include <cmath>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

#include "Fluvio/Sources/Stream/AudioPlayer.hpp"
#include "Fluvio/Sources/Stream/IncomingStream.hpp"
#include "Fluvio/Tests/Stream/IncomingStreamTestSupport.hpp"
#include "Platform/AVFAudio/AVAudioEngine.hpp"
#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/AVFAudio/NullAudioDevice.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/QuartzCore/ManualDisplayTickSource.hpp"

namespace fluvio {
namespace {

using platform::blockOn;
using platform::CMTime;

double rms(const platform::AVAudioPCMBuffer& buffer) {
  double sum = 0;
  const float* samples = buffer.floatChannelData()[0];
  for (platform::AVAudioFrameCount frame = 0; frame < buffer.frameLength(); ++frame) sum += samples[frame] * samples[frame];
  return buffer.frameLength() ? std::sqrt(sum / buffer.frameLength()) : 0;
}

std::vector<CMTime> timesOf(const std::vector<platform::CMSampleBuffer>& frames) {
  std::vector<CMTime> times;
  for (const auto& frame : frames) times.push_back(frame.presentationTimeStamp());
  return times;
}

std::vector<CMTime> firstFrameTimes(int count) {
  std::vector<CMTime> times;
  for (int index = 0; index < count; ++index) times.push_back(testing::encodedFrameTime(index));
  return times;
}

// The decoder runs on a thread of its own, so under load a decoded frame can
// reach the media link after the tick that made it due, and a manual clock
// never ticks again. Like a display, this keeps ticking until `count` frames
// are out; under the audio clock a tick releases nothing past the audio time.
bool tickUntilReleased(platform::ManualDisplayTickSource& source, const testing::RecordingStream& owner,
                       std::size_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  do {
    source.tick();
    if (owner.waitFor([count](std::size_t videoCount, std::size_t) { return videoCount >= count; },
                      std::chrono::milliseconds(50))) {
      return true;
    }
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

// Plays our own encoded output back: H.264 and AAC in, decoded pictures and
// PCM out to the owner in order, video paced by the audio the null device has
// played and, once the player is detached, by display time.
TEST(IncomingStreamDecodingTests, DecodesOurOwnOutputBackInOrderPacedByTheMediaLink) {
  constexpr int kFrames = 20;
  constexpr int kAudioChunks = 24;
  const auto video = testing::encodeVideo(kFrames);
  const auto audio = testing::encodeTone(kAudioChunks);
  ASSERT_EQ(video.size(), std::size_t{kFrames});
  ASSERT_GE(audio.size(), std::size_t{kAudioChunks - 2});

  std::mutex playedMutex;
  double loudestPeriod = 0;
  const auto device = platform::NullAudioDevice::make(
      platform::AVAudioFormat::makeStandard(48'000, 2), 1024, platform::NullAudioDevice::Clock::manual,
      [&](const platform::AVAudioPCMBuffer& period) {
        std::lock_guard lock(playedMutex);
        loudestPeriod = std::max(loudestPeriod, rms(period));
      });
  const auto engine = platform::AVAudioEngine::make(device);
  const auto player = AudioPlayer::make(engine);
  const auto source = std::make_shared<platform::ManualDisplayTickSource>();
  const auto owner = platform::Actor::make<testing::RecordingStream>();
  const auto incoming = IncomingStream::make(owner, source);
  blockOn(incoming->attachAudioPlayer(player));
  blockOn(incoming->startRunning());

  for (const auto& sample : video) blockOn(incoming->append(sample));
  for (const auto& [packet, when] : audio) blockOn(incoming->append(packet, when));

  // Every decoded audio buffer reaches the owner after the node has it, so
  // the node now holds enough to play.
  ASSERT_TRUE(owner->waitFor([&](std::size_t, std::size_t audioCount) { return audioCount >= audio.size() - 2; }));
  EXPECT_TRUE(owner->video().empty()) << "nothing is due before the first tick";

  // Audio clock at 0: the first frame only.
  ASSERT_TRUE(tickUntilReleased(*source, *owner, 1));
  // The last render began 4,096 frames in: 0.085 s, frames 0 to 2.
  device->advance(5);
  ASSERT_TRUE(tickUntilReleased(*source, *owner, 3));
  EXPECT_EQ(timesOf(owner->video()), firstFrameTimes(3));
  // 14,336 frames: 0.299 s, frames up to 8.
  device->advance(10);
  ASSERT_TRUE(tickUntilReleased(*source, *owner, 9));
  EXPECT_EQ(timesOf(owner->video()), firstFrameTimes(9));

  // Without a player, display time takes over; a second of it releases the rest.
  blockOn(incoming->attachAudioPlayer(nullptr));
  source->advance(std::chrono::seconds(1));
  ASSERT_TRUE(tickUntilReleased(*source, *owner, kFrames));
  blockOn(incoming->stopRunning());

  const auto decoded = owner->video();
  EXPECT_EQ(timesOf(decoded), firstFrameTimes(kFrames));
  for (const auto& frame : decoded) {
    ASSERT_TRUE(frame.imageBuffer()) << "a decoded picture";
    EXPECT_EQ(frame.imageBuffer()->width(), testing::kEncodedWidth);
    EXPECT_EQ(frame.imageBuffer()->height(), testing::kEncodedHeight);
  }

  // PCM at the tone's rate, one buffer per packet, in the order of the packets,
  // and loud once the encoder's priming is past.
  const auto pcm = owner->audio();
  ASSERT_GE(pcm.size(), audio.size() - 2);
  for (std::size_t index = 0; index < pcm.size(); ++index) {
    const auto buffer = std::dynamic_pointer_cast<platform::AVAudioPCMBuffer>(pcm[index].first);
    ASSERT_TRUE(buffer) << "buffer " << index;
    EXPECT_EQ(buffer->format()->sampleRate(), 48'000);
    EXPECT_EQ(buffer->frameLength(), 1024u);
    if (index > 0) EXPECT_GT(pcm[index].second->sampleTime(), pcm[index - 1].second->sampleTime());
  }
  EXPECT_GT(rms(*std::dynamic_pointer_cast<platform::AVAudioPCMBuffer>(pcm[pcm.size() / 2].first)), 0.2);
  std::lock_guard lock(playedMutex);
  EXPECT_GT(loudestPeriod, 0.2) << "the tone played on the device";
}

}  // namespace
}  // namespace fluvio

namespace fluvio {
namespace {

// A feeder that awaits each append runs ahead of playback only by the media
// link's room and the decoder's queue: with the link not ticking it is held,
// and once display time runs every picture comes out, in order, none dropped.
TEST(IncomingStreamDecodingTests, AFeederIsHeldWhilePlaybackIsBehindAndNothingIsDropped) {
  constexpr int kFrames = 120;
  const auto video = testing::encodeVideo(kFrames);
  ASSERT_EQ(video.size(), std::size_t{kFrames});
  const auto source = std::make_shared<platform::ManualDisplayTickSource>();
  const auto owner = platform::Actor::make<testing::RecordingStream>();
  const auto incoming = IncomingStream::make(owner, source);
  blockOn(incoming->startRunning());

  std::atomic<int> appended = 0;
  auto feeder = std::async(std::launch::async, [&] {
    for (const auto& sample : video) {
      blockOn(incoming->append(sample));
      ++appended;
    }
  });
  EXPECT_EQ(feeder.wait_for(std::chrono::milliseconds(500)), std::future_status::timeout)
      << "every frame was taken while nothing played";
  EXPECT_LE(appended.load(), static_cast<int>(MediaLink::capacity));

  source->advance(std::chrono::seconds(10));
  ASSERT_TRUE(tickUntilReleased(*source, *owner, kFrames));
  feeder.get();
  EXPECT_EQ(timesOf(owner->video()), firstFrameTimes(kFrames));
  blockOn(incoming->stopRunning());
}

}  // namespace
}  // namespace fluvio
