#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "Platform/AVFAudio/AVAudioEngine.hpp"
#include "Platform/AVFAudio/NullAudioDevice.hpp"
#include "Platform/AVFAudio/Tests/AudioEngineTestRig.hpp"

namespace platform {
namespace {

using namespace engine_testing;

TEST(AVAudioEngineTests, VolumeAndPanScaleTheChannels) {
  EngineRig rig;
  const auto mono = rig.connectedNode(kMono);
  mono->setVolume(0.5f);
  mono->setPan(-0.5f);
  mono->scheduleBuffer(makeConstant(kMono, 256, 0.8f), at(0), nullptr);
  mono->play();
  rig.device->advance(1);
  EXPECT_FLOAT_EQ(rig.channel(0)[10], 0.4f) << "the near side keeps the volume";
  EXPECT_FLOAT_EQ(rig.channel(1)[10], 0.2f) << "the far side is turned down by the pan";

  mono->stop();
  const auto stereo = AVAudioPlayerNode::make();
  rig.engine->attach(stereo);
  rig.engine->connect(stereo, rig.engine->outputNode(), kStereo);
  stereo->setPan(1.0f);
  stereo->scheduleBuffer(
      makeBuffer(kStereo, 256,
                 [](AVAudioChannelCount channel, AVAudioFrameCount) { return channel == 0 ? 0.3f : 0.6f; }),
      at(0), nullptr);
  stereo->play();
  rig.device->advance(1);
  EXPECT_FLOAT_EQ(rig.channel(0)[256 + 10], 0.0f);
  EXPECT_FLOAT_EQ(rig.channel(1)[256 + 10], 0.6f);
}

TEST(AVAudioEngineTests, PlayingNodesAreMixedAndSilentOnesAreNot) {
  EngineRig rig;
  const auto first = rig.connectedNode(kMono);
  const auto second = rig.connectedNode(kMono);
  const auto idle = rig.connectedNode(kMono);
  first->scheduleBuffer(makeConstant(kMono, 256, 0.25f), at(0), nullptr);
  second->scheduleBuffer(makeConstant(kMono, 128, 0.5f), at(128), nullptr);
  idle->scheduleBuffer(makeConstant(kMono, 256, 0.125f), at(0), nullptr);
  first->play();
  second->play();
  rig.device->advance(1);
  EXPECT_FLOAT_EQ(rig.channel(0)[0], 0.25f);
  EXPECT_FLOAT_EQ(rig.channel(0)[200], 0.75f);
  EXPECT_FLOAT_EQ(rig.channel(1)[200], 0.75f);
}

TEST(AVAudioEngineTests, ConnectionsAreConvertedToTheDeviceRate) {
  EngineRig rig(480);
  const auto format = AVAudioFormat::make(AVAudioCommonFormat::pcmFormatInt16, 24000, 2, true);
  const auto node = rig.connectedNode(format);
  auto buffer = AVAudioPCMBuffer::make(format, 2400);
  buffer->setFrameLength(2400);
  for (AVAudioFrameCount frame = 0; frame < 2400; ++frame) {
    buffer->int16ChannelData()[0][frame * 2] = 8192;
    buffer->int16ChannelData()[1][frame * 2] = -8192;
  }
  CompletionLog log;
  node->scheduleBuffer(buffer, AVAudioTime::make(0, 24000), log.handler(1));
  node->play();
  rig.device->advance(8);
  // Well inside the tone, away from the filter's edges.
  for (std::size_t frame = 1000; frame < 3600; frame += 100) {
    EXPECT_NEAR(rig.channel(0)[frame], 0.25f, 1e-3f) << frame;
    EXPECT_NEAR(rig.channel(1)[frame], -0.25f, 1e-3f) << frame;
  }
  // The node counts in its own rate.
  const auto renderTime = node->lastRenderTime();
  EXPECT_DOUBLE_EQ(renderTime->sampleRate(), 24000);
  EXPECT_EQ(renderTime->sampleTime(), 7 * 240);
  rig.device->advance(4);
  EXPECT_EQ(log.ids(), (std::vector<int>{1}));
}

TEST(AVAudioEngineTests, MixIsConvertedToTheDeviceFormat) {
  std::vector<std::int16_t> played;
  const auto device = NullAudioDevice::make(AVAudioFormat::make(AVAudioCommonFormat::pcmFormatInt16, 48000, 2, true),
                                            256, NullAudioDevice::Clock::manual, [&](const AVAudioPCMBuffer& period) {
                                              const auto* samples = period.int16ChannelData()[0];
                                              played.insert(played.end(), samples, samples + period.frameLength() * 2);
                                            });
  const auto engine = AVAudioEngine::make(device);
  const auto node = AVAudioPlayerNode::make();
  engine->attach(node);
  engine->connect(node, engine->outputNode(), kMono);
  engine->start();
  node->scheduleBuffer(makeConstant(kMono, 256, 0.5f), at(0), nullptr);
  node->play();
  device->advance(1);
  ASSERT_EQ(played.size(), 512u);
  EXPECT_NEAR(played[20], 16384, 1);
  EXPECT_NEAR(played[21], 16384, 1);
}

TEST(AVAudioEngineTests, GraphChangesOnlyTouchAttachedNodesOfThisEngine) {
  EngineRig rig;
  EngineRig other;
  const auto stranger = AVAudioPlayerNode::make();
  rig.engine->connect(stranger, rig.engine->outputNode(), kMono);
  rig.engine->start();
  EXPECT_EQ(stranger->lastRenderTime(), nullptr) << "an unattached node is not connected";

  const auto node = AVAudioPlayerNode::make();
  rig.engine->attach(node);
  rig.engine->connect(node, other.engine->outputNode(), kMono);
  EXPECT_EQ(node->lastRenderTime(), nullptr) << "another engine's output is refused";
  rig.engine->connect(
      node, rig.engine->outputNode(),
      AVAudioFormat::make(
          {.mSampleRate = 48000, .mFormatID = kAudioFormatMPEG4AAC, .mFramesPerPacket = 1024, .mChannelsPerFrame = 2}));
  EXPECT_EQ(node->lastRenderTime(), nullptr) << "only linear PCM connects";

  other.engine->attach(node);
  other.engine->connect(node, other.engine->outputNode(), kMono);
  other.engine->start();
  EXPECT_EQ(node->lastRenderTime(), nullptr) << "a node belongs to one engine at a time";

  rig.engine->detach(node);
  other.engine->attach(node);
  other.engine->connect(node, other.engine->outputNode(), kMono);
  EXPECT_NE(node->lastRenderTime(), nullptr) << "a detached node may move";
}

TEST(AVAudioEngineTests, DisconnectKeepsBuffersAndDetachDropsThem) {
  EngineRig rig;
  const auto node = rig.connectedNode(kMono);
  CompletionLog log;
  node->scheduleBuffer(makeConstant(kMono, 100, 0.5f), at(0), log.handler(1));
  node->play();
  rig.engine->disconnectNodeOutput(node);
  EXPECT_EQ(node->lastRenderTime(), nullptr);
  rig.device->advance(1);
  EXPECT_TRUE(log.ids().empty());

  rig.engine->connect(node, rig.engine->outputNode(), kMono);
  EXPECT_EQ(node->lastRenderTime()->sampleTime(), 0) << "a new connection starts the node time again";
  rig.device->advance(1);
  EXPECT_EQ(log.ids(), (std::vector<int>{1}));
  EXPECT_FLOAT_EQ(rig.channel(0)[256], 0.5f);

  node->scheduleBuffer(makeConstant(kMono, 100, 0.5f), nullptr, log.handler(2));
  rig.engine->detach(node);
  EXPECT_EQ(log.ids(), (std::vector<int>{1, 2}));
  EXPECT_FALSE(node->isPlaying());
}

TEST(AVAudioEngineTests, RenderTimeExistsOnlyWhileRunning) {
  EngineRig rig(480);
  const auto node = rig.connectedNode(kMono);
  rig.device->advance(2);
  const auto first = node->lastRenderTime();
  rig.device->advance(1);
  const auto second = node->lastRenderTime();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(second->sampleTime() - first->sampleTime(), 480);
  EXPECT_EQ(second->hostTime() - first->hostTime(), 10'000'000u) << "the virtual clock steps one period";

  rig.engine->stop();
  EXPECT_FALSE(rig.engine->isRunning());
  EXPECT_EQ(node->lastRenderTime(), nullptr);
  rig.device->advance(1);
  EXPECT_EQ(rig.channel(0).size(), 3u * 480) << "a stopped engine renders nothing";
  rig.engine->start();
  EXPECT_EQ(node->lastRenderTime()->sampleTime(), second->sampleTime() + 480);
}

TEST(AVAudioEngineTests, DefaultEngineRunsOnWhateverOutputTheMachineHas) {
  const auto engine = AVAudioEngine::make();
  const auto node = AVAudioPlayerNode::make();
  engine->attach(node);
  engine->connect(node, engine->outputNode(), kStereo);
  engine->start();
  EXPECT_TRUE(engine->isRunning());
  EXPECT_NE(node->lastRenderTime(), nullptr);
  engine->stop();
  EXPECT_FALSE(engine->isRunning());
}

}  // namespace
}  // namespace platform
