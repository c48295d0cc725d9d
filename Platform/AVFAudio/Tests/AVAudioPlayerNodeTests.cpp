#include <gtest/gtest.h>

#include <vector>

#include "Platform/AVFAudio/AVAudioPlayerNode.hpp"
#include "Platform/AVFAudio/Tests/AudioEngineTestRig.hpp"

namespace platform {
namespace {

using namespace engine_testing;

// Frames [begin, end) of `samples`.
std::vector<float> slice(const std::vector<float>& samples, std::size_t begin, std::size_t end) {
  return {samples.begin() + static_cast<std::ptrdiff_t>(begin), samples.begin() + static_cast<std::ptrdiff_t>(end)};
}

std::vector<float> constant(std::size_t count, float value) { return std::vector<float>(count, value); }

TEST(AVAudioPlayerNodeTests, ScheduledBuffersPlayAtTheirSampleTimesInOrder) {
  EngineRig rig;
  const auto node = rig.connectedNode(kMono);
  CompletionLog log;
  const auto ramp =
      makeBuffer(kMono, 100, [](AVAudioChannelCount, AVAudioFrameCount frame) { return 0.001f * (frame + 1); });
  node->scheduleBuffer(ramp, at(300), log.handler(1));
  node->scheduleBuffer(makeConstant(kMono, 100, 0.5f), at(400), log.handler(2));
  node->scheduleBuffer(makeConstant(kMono, 50, 0.75f), at(1000), log.handler(3));
  node->play();
  rig.device->advance(5);

  for (std::size_t channel = 0; channel < 2; ++channel) {
    const auto& played = rig.channel(channel);
    ASSERT_EQ(played.size(), 1280u);
    EXPECT_EQ(slice(played, 0, 300), constant(300, 0));
    for (std::size_t frame = 0; frame < 100; ++frame) EXPECT_FLOAT_EQ(played[300 + frame], 0.001f * (frame + 1));
    EXPECT_EQ(slice(played, 400, 500), constant(100, 0.5f));
    EXPECT_EQ(slice(played, 500, 1000), constant(500, 0));
    EXPECT_EQ(slice(played, 1000, 1050), constant(50, 0.75f));
    EXPECT_EQ(slice(played, 1050, 1280), constant(230, 0));
  }
  EXPECT_EQ(log.ids(), (std::vector<int>{1, 2, 3}));
}

TEST(AVAudioPlayerNodeTests, CompletionRunsOnceWhenTheLastFrameHasPlayed) {
  EngineRig rig;
  const auto node = rig.connectedNode(kMono);
  CompletionLog log;
  node->scheduleBuffer(makeConstant(kMono, 300, 0.1f), at(0), log.handler(1));
  // Exactly one period long: done with the cycle that plays its last frame.
  node->scheduleBuffer(makeConstant(kMono, 212, 0.2f), nullptr, log.handler(2));

  rig.device->advance(2);
  EXPECT_TRUE(log.ids().empty()) << "nothing plays before play()";
  EXPECT_EQ(rig.channel(0), constant(512, 0));

  node->play();
  rig.device->advance(1);
  EXPECT_TRUE(log.ids().empty());
  rig.device->advance(1);
  EXPECT_EQ(log.ids(), (std::vector<int>{1, 2}));
  rig.device->advance(3);
  EXPECT_EQ(log.ids(), (std::vector<int>{1, 2}));
  EXPECT_EQ(slice(rig.channel(0), 512, 812), constant(300, 0.1f));
  EXPECT_EQ(slice(rig.channel(0), 812, 1024), constant(212, 0.2f));
}

TEST(AVAudioPlayerNodeTests, LateOrUntimedBuffersPlayRightAfterThoseBefore) {
  EngineRig rig;
  const auto node = rig.connectedNode(kMono);
  node->play();
  rig.device->advance(2);
  // Player time is 512 now: a buffer due at 100 is late.
  node->scheduleBuffer(makeConstant(kMono, 50, 0.3f), at(100), nullptr);
  node->scheduleBuffer(makeConstant(kMono, 50, 0.6f), nullptr, nullptr);
  node->scheduleBuffer(makeConstant(kMono, 20, 0.9f), AVAudioTime::make(std::uint64_t{42}), nullptr);
  rig.device->advance(1);
  const auto& played = rig.channel(0);
  EXPECT_EQ(slice(played, 512, 562), constant(50, 0.3f));
  EXPECT_EQ(slice(played, 562, 612), constant(50, 0.6f));
  EXPECT_EQ(slice(played, 612, 632), constant(20, 0.9f));
  EXPECT_EQ(slice(played, 632, 768), constant(136, 0));
}

TEST(AVAudioPlayerNodeTests, PlayerTimeCountsPlayedFramesAndPausesWithThePlayer) {
  EngineRig rig;
  const auto node = rig.connectedNode(kMono);
  const auto playerSampleTime = [&] {
    const auto time = node->playerTime(*node->lastRenderTime());
    return time ? time->sampleTime() : -1;
  };
  rig.device->advance(3);
  EXPECT_EQ(playerSampleTime(), -1) << "no player time before play()";

  node->play();
  EXPECT_EQ(playerSampleTime(), 0);
  rig.device->advance(4);
  // The last cycle began 768 played frames in.
  EXPECT_EQ(playerSampleTime(), 768);
  EXPECT_EQ(node->lastRenderTime()->sampleTime(), 6 * 256);
  EXPECT_DOUBLE_EQ(node->playerTime(*node->lastRenderTime())->sampleRate(), 48000);

  node->pause();
  EXPECT_EQ(playerSampleTime(), -1);
  rig.device->advance(2);
  node->play();
  EXPECT_EQ(playerSampleTime(), 1024) << "a resumed player goes on where it paused";
  rig.device->advance(2);
  EXPECT_EQ(playerSampleTime(), 1280);

  node->stop();
  node->play();
  EXPECT_EQ(playerSampleTime(), 0) << "stop rewinds";
}

TEST(AVAudioPlayerNodeTests, StopDropsScheduledBuffersAndCompletesThemOnce) {
  EngineRig rig;
  const auto node = rig.connectedNode(kMono);
  CompletionLog log;
  node->scheduleBuffer(makeConstant(kMono, 1000, 0.5f), at(0), log.handler(1));
  node->scheduleBuffer(makeConstant(kMono, 1000, 0.5f), at(1000), log.handler(2));
  node->play();
  rig.device->advance(1);
  node->stop();
  EXPECT_EQ(log.ids(), (std::vector<int>{1, 2}));
  node->play();
  rig.device->advance(2);
  EXPECT_EQ(slice(rig.channel(0), 256, 768), constant(512, 0));
  EXPECT_EQ(log.ids().size(), 2u);
}

TEST(AVAudioPlayerNodeTests, BufferOfAnotherFormatIsCompletedUnplayed) {
  EngineRig rig;
  const auto node = rig.connectedNode(kMono);
  CompletionLog log;
  node->scheduleBuffer(makeConstant(AVAudioFormat::makeStandard(48000, 2), 100, 0.5f), at(0), log.handler(1));
  node->scheduleBuffer(makeConstant(kMono, 100, 0.25f), at(0), log.handler(2));
  node->scheduleBuffer(nullptr, at(0), log.handler(3));
  EXPECT_EQ(log.ids(), (std::vector<int>{3}));
  node->play();
  rig.device->advance(1);
  EXPECT_EQ(log.ids(), (std::vector<int>{3, 1, 2}));
  EXPECT_EQ(slice(rig.channel(0), 0, 100), constant(100, 0.25f));
}

TEST(AVAudioPlayerNodeTests, VolumeAndPanAreClamped) {
  const auto node = AVAudioPlayerNode::make();
  node->setVolume(1.5f);
  node->setPan(-3.0f);
  EXPECT_FLOAT_EQ(node->volume(), 1.0f);
  EXPECT_FLOAT_EQ(node->pan(), -1.0f);
  node->setVolume(-1.0f);
  node->setPan(std::numeric_limits<float>::quiet_NaN());
  EXPECT_FLOAT_EQ(node->volume(), 0.0f);
  EXPECT_FLOAT_EQ(node->pan(), 0.0f);
}

}  // namespace
}  // namespace platform
