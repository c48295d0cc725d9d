#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "Fluvio/Sources/Stream/AudioPlayer.hpp"
#include "Fluvio/Sources/Stream/AudioPlayerNode.hpp"
#include "Platform/AVFAudio/AVAudioCompressedBuffer.hpp"
#include "Platform/AVFAudio/AVAudioEngine.hpp"
#include "Platform/AVFAudio/NullAudioDevice.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Tests/Support/Eventually.hpp"

namespace fluvio {
namespace {

using platform::AVAudioFormat;
using platform::AVAudioPCMBuffer;
using platform::blockOn;

constexpr platform::AVAudioFrameCount kFrames = 1024;
const auto kMono = AVAudioFormat::makeStandard(48000, 1);

std::shared_ptr<AVAudioPCMBuffer> constant(const std::shared_ptr<AVAudioFormat>& format, float value,
                                           platform::AVAudioFrameCount frames = kFrames) {
  auto buffer = AVAudioPCMBuffer::make(format, frames);
  buffer->setFrameLength(frames);
  for (platform::AVAudioChannelCount channel = 0; channel < format->channelCount(); ++channel) {
    for (platform::AVAudioFrameCount frame = 0; frame < frames; ++frame)
      buffer->floatChannelData()[channel][frame] = value;
  }
  return buffer;
}

// A player on an engine whose null device plays one 1024-frame period per advance().
class AudioPlayerTests : public ::testing::Test {
 protected:
  std::shared_ptr<AudioPlayerNode> startedNode() {
    auto node = blockOn(player->makePlayerNode());
    blockOn(node->startRunning());
    return node;
  }
  void enqueue(const std::shared_ptr<AudioPlayerNode>& node, const std::shared_ptr<platform::AVAudioBuffer>& buffer) {
    blockOn(node->enqueue(buffer));
  }
  // Channel `channel` of period `period` since the device was made.
  std::vector<float> period(std::size_t index, std::size_t channel = 0) const {
    const auto begin = played[channel].begin() + static_cast<std::ptrdiff_t>(index * kFrames);
    return {begin, begin + kFrames};
  }
  bool isConnected(const std::shared_ptr<AudioPlayerNode>& node) { return blockOn(player->isConnected(node)); }

  std::vector<float> played[2];
  std::shared_ptr<platform::NullAudioDevice> device = platform::NullAudioDevice::make(
      AVAudioFormat::makeStandard(48000, 2), kFrames, platform::NullAudioDevice::Clock::manual,
      [this](const AVAudioPCMBuffer& output) {
        for (std::size_t channel = 0; channel < 2; ++channel) {
          const float* samples = output.floatChannelData()[channel];
          played[channel].insert(played[channel].end(), samples, samples + output.frameLength());
        }
      });
  std::shared_ptr<platform::AVAudioEngine> engine = platform::AVAudioEngine::make(device);
  std::shared_ptr<AudioPlayer> player = AudioPlayer::make(engine);
};

TEST_F(AudioPlayerTests, TenthBufferStartsPlaybackAndEveryBufferPlaysBackToBack) {
  const auto node = startedNode();
  for (int index = 1; index <= 9; ++index) enqueue(node, constant(kMono, 0.01f * index));
  EXPECT_FALSE(node->playerNode()->isPlaying());
  EXPECT_EQ(blockOn(node->currentTime()), 0.0);
  device->advance(1);
  EXPECT_EQ(period(0), std::vector<float>(kFrames, 0.0f)) << "nine buffers stay silent";

  enqueue(node, constant(kMono, 0.01f * 10));
  EXPECT_TRUE(node->playerNode()->isPlaying());
  device->advance(10);
  // The first buffer, enqueued while the node was being connected, is kept,
  // and each one starts where the one before it ends.
  for (int index = 1; index <= 10; ++index) {
    EXPECT_EQ(period(index), std::vector<float>(kFrames, 0.01f * index)) << "buffer " << index;
  }
  EXPECT_DOUBLE_EQ(blockOn(node->currentTime()), 9.0 * kFrames / 48000);
  device->advance(2);
  EXPECT_DOUBLE_EQ(blockOn(node->currentTime()), 11.0 * kFrames / 48000) << "the time goes on through silence";
}

TEST_F(AudioPlayerTests, NewFormatReconnectsTheNodeAndStartsItsOwnClock) {
  const auto node = startedNode();
  const auto lowRate = AVAudioFormat::makeStandard(24000, 1);
  for (int index = 0; index < 10; ++index) enqueue(node, constant(lowRate, 0.25f));
  EXPECT_DOUBLE_EQ(node->playerNode()->lastRenderTime()->sampleRate(), 24000);
  device->advance(24);

  for (int index = 0; index < 10; ++index) enqueue(node, constant(kMono, 0.5f));
  EXPECT_DOUBLE_EQ(node->playerNode()->lastRenderTime()->sampleRate(), 48000);
  device->advance(12);
  // The ten new buffers play without a gap between them.
  const auto& left = played[0];
  const auto first = std::find(left.begin() + 24 * kFrames, left.end(), 0.5f);
  ASSERT_NE(first, left.end());
  EXPECT_EQ(std::count(first, first + 10 * kFrames, 0.5f), 10 * kFrames);
}

TEST_F(AudioPlayerTests, DropsWhatItCannotPlay) {
  const auto node = startedNode();
  const auto aac = AVAudioFormat::make({.mSampleRate = 48000,
                                        .mFormatID = platform::kAudioFormatMPEG4AAC,
                                        .mFramesPerPacket = 1024,
                                        .mChannelsPerFrame = 2});
  for (int index = 0; index < 10; ++index) enqueue(node, platform::AVAudioCompressedBuffer::make(aac, 1, 1024));
  enqueue(node, nullptr);
  EXPECT_FALSE(node->playerNode()->isPlaying()) << "compressed audio is never scheduled";

  const auto orphan = startedNode();
  // A call still finishing on the player holds it a moment after the last owner lets go.
  const std::weak_ptr<AudioPlayer> released = player;
  player.reset();
  ASSERT_TRUE(platform::testing::eventually([&] { return released.expired(); }));
  for (int index = 0; index < 10; ++index) enqueue(orphan, constant(kMono, 0.5f));
  EXPECT_FALSE(orphan->playerNode()->isPlaying());
  EXPECT_EQ(orphan->playerNode()->lastRenderTime(), nullptr);

  const auto withoutEngine = AudioPlayer::make(nullptr);
  const auto unplayed = blockOn(withoutEngine->makePlayerNode());
  for (int index = 0; index < 10; ++index) enqueue(unplayed, constant(kMono, 0.5f));
  EXPECT_FALSE(unplayed->playerNode()->isPlaying());
  EXPECT_FALSE(blockOn(withoutEngine->isConnected(unplayed)));
}

TEST_F(AudioPlayerTests, StopDropsWaitingBuffersAndARestartWaitsForTenAgain) {
  const auto node = startedNode();
  for (int index = 0; index < 5; ++index) enqueue(node, constant(kMono, 0.9f));
  blockOn(node->stopRunning());
  blockOn(node->stopRunning());
  EXPECT_FALSE(blockOn(node->isRunning()));
  EXPECT_FALSE(isConnected(node));
  EXPECT_FALSE(engine->isRunning()) << "no node is left connected";

  blockOn(node->startRunning());
  for (int index = 1; index <= 9; ++index) enqueue(node, constant(kMono, 0.01f * index));
  EXPECT_FALSE(node->playerNode()->isPlaying()) << "the count starts again from 0";
  enqueue(node, constant(kMono, 0.01f * 10));
  EXPECT_TRUE(node->playerNode()->isPlaying());
  device->advance(1);
  EXPECT_EQ(period(0), std::vector<float>(kFrames, 0.01f)) << "nothing from before the stop plays";
}

TEST_F(AudioPlayerTests, EngineStopsOnlyOnceNoNodeIsConnected) {
  const auto first = startedNode();
  const auto second = startedNode();
  enqueue(first, constant(kMono, 0.5f));
  enqueue(second, constant(kMono, 0.5f));
  ASSERT_TRUE(engine->isRunning());

  blockOn(first->stopRunning());
  EXPECT_TRUE(engine->isRunning()) << "the second stream still plays";
  EXPECT_NE(second->playerNode()->lastRenderTime(), nullptr);
  blockOn(second->stopRunning());
  EXPECT_FALSE(engine->isRunning());
}

TEST_F(AudioPlayerTests, DetachForgetsTheNode) {
  const auto node = startedNode();
  enqueue(node, constant(kMono, 0.5f));
  ASSERT_TRUE(isConnected(node));
  blockOn(player->detach(node));
  EXPECT_FALSE(isConnected(node));
  EXPECT_FALSE(engine->isRunning());

  blockOn(player->connect(node, kMono));
  EXPECT_FALSE(isConnected(node)) << "a detached node is no longer the player's";
  EXPECT_FALSE(engine->isRunning());
}

TEST_F(AudioPlayerTests, SoundTransformIsKeptAndApplied) {
  const auto node = startedNode();
  EXPECT_EQ(blockOn(node->soundTransform()), SoundTransform{});
  blockOn(node->setSoundTransform({.volume = 0.5f, .pan = 1.0f}));
  EXPECT_EQ(blockOn(node->soundTransform()), (SoundTransform{.volume = 0.5f, .pan = 1.0f}));
  for (int index = 0; index < 10; ++index) enqueue(node, constant(kMono, 0.4f));
  device->advance(1);
  EXPECT_EQ(period(0, 0), std::vector<float>(kFrames, 0.0f));
  EXPECT_EQ(period(0, 1), std::vector<float>(kFrames, 0.2f));
}

}  // namespace
}  // namespace fluvio
