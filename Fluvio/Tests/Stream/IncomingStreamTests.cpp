#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "Fluvio/Sources/Stream/AudioPlayer.hpp"
#include "Fluvio/Sources/Stream/IncomingStream.hpp"
#include "Fluvio/Tests/Stream/IncomingStreamTestSupport.hpp"
#include "Platform/AVFAudio/AVAudioEngine.hpp"
#include "Platform/AVFAudio/NullAudioDevice.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/CoreMedia/CMBlockBuffer.hpp"
#include "Platform/QuartzCore/ManualDisplayTickSource.hpp"

namespace fluvio {
namespace {

using platform::blockOn;

class IncomingStreamTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    video_ = new std::vector<platform::CMSampleBuffer>(testing::encodeVideo(4));
    audio_ = new std::vector<AudioCodec::Output>(testing::encodeTone(14));
  }
  static void TearDownTestSuite() {
    delete video_;
    delete audio_;
  }

  void TearDown() override { blockOn(incoming->stopRunning()); }

  void feedAudio() {
    for (const auto& [packet, when] : *audio_) blockOn(incoming->append(packet, when));
  }
  void feedVideo() {
    for (const auto& sample : *video_) blockOn(incoming->append(sample));
  }
  std::size_t audioPackets() const { return audio_->size(); }
  // Decoded frames reach the link in their own time: keeps the display
  // going, at most 30 s, until the owner has `frames` of them.
  bool tickUntilOwnerHasVideo(std::size_t frames) {
    for (int attempt = 0; attempt < 300; ++attempt) {
      source->advance(std::chrono::milliseconds(100));
      if (owner->waitFor([frames](std::size_t video, std::size_t) { return video >= frames; },
                         std::chrono::milliseconds(100))) {
        return true;
      }
    }
    return false;
  }
  bool ownerReceivedAudio() const {
    return owner->waitFor([this](std::size_t, std::size_t audio) { return audio >= audioPackets() - 2; });
  }

  std::shared_ptr<platform::NullAudioDevice> device = platform::NullAudioDevice::make(
      platform::AVAudioFormat::makeStandard(48'000, 2), 1024, platform::NullAudioDevice::Clock::manual);
  std::shared_ptr<platform::AVAudioEngine> engine = platform::AVAudioEngine::make(device);
  std::shared_ptr<AudioPlayer> player = AudioPlayer::make(engine);
  std::shared_ptr<platform::ManualDisplayTickSource> source = std::make_shared<platform::ManualDisplayTickSource>();
  std::shared_ptr<testing::RecordingStream> owner = platform::Actor::make<testing::RecordingStream>();
  std::shared_ptr<IncomingStream> incoming = IncomingStream::make(owner, source);

 private:
  static inline std::vector<platform::CMSampleBuffer>* video_ = nullptr;
  static inline std::vector<AudioCodec::Output>* audio_ = nullptr;
};

TEST_F(IncomingStreamTest, StartAndStopTwiceChangeNothingAndStopWaitsForTheLinkAndTheNode) {
  blockOn(incoming->attachAudioPlayer(player));
  blockOn(incoming->startRunning());
  blockOn(incoming->startRunning());
  EXPECT_TRUE(blockOn(incoming->isRunning()));
  EXPECT_EQ(source->subscriberCount(), 1u);

  feedAudio();
  ASSERT_TRUE(ownerReceivedAudio());
  EXPECT_TRUE(engine->isRunning()) << "the node connected once audio arrived";

  blockOn(incoming->stopRunning());
  // Already stopped when the call returns: the link's display link, and the
  // node, whose disconnection stops the engine.
  EXPECT_EQ(source->subscriberCount(), 0u);
  EXPECT_FALSE(engine->isRunning());
  blockOn(incoming->stopRunning());
  EXPECT_FALSE(blockOn(incoming->isRunning()));
}

TEST_F(IncomingStreamTest, APlayerAttachedWhileRunningPlaysAndStopsWithTheStream) {
  blockOn(incoming->startRunning());
  blockOn(incoming->attachAudioPlayer(player));
  feedAudio();
  ASSERT_TRUE(ownerReceivedAudio());
  EXPECT_TRUE(engine->isRunning());

  blockOn(incoming->stopRunning());
  EXPECT_FALSE(engine->isRunning()) << "the node was started, so stopping the stream stops it";
}

TEST_F(IncomingStreamTest, RestartDeliversAgainThroughTheSameCodecsAndLink) {
  blockOn(incoming->startRunning());
  blockOn(incoming->stopRunning());
  blockOn(incoming->startRunning());
  feedVideo();
  feedAudio();
  EXPECT_TRUE(tickUntilOwnerHasVideo(4));
  EXPECT_TRUE(ownerReceivedAudio());
}

TEST_F(IncomingStreamTest, AudioReachesTheOwnerWithoutAPlayerAndBuffersOfNoKnownMediaAreIgnored) {
  blockOn(incoming->startRunning());
  const std::size_t size = 4;
  const auto formatless = platform::CMSampleBuffer::make(platform::CMBlockBuffer::make(std::vector<std::uint8_t>(4)),
                                                         true, nullptr, 1, {}, {&size, 1});
  ASSERT_TRUE(formatless);
  blockOn(incoming->append(*formatless.value));
  feedAudio();
  EXPECT_TRUE(ownerReceivedAudio());
  EXPECT_EQ(blockOn(incoming->soundTransform()), std::nullopt);
}

TEST_F(IncomingStreamTest, MediaForAnOwnerThatHasGoneIsDrainedAndDropped) {
  blockOn(incoming->startRunning());
  owner.reset();
  feedVideo();
  feedAudio();
  source->advance(std::chrono::seconds(1));
  blockOn(incoming->stopRunning());
  EXPECT_FALSE(blockOn(incoming->isRunning()));
}

TEST_F(IncomingStreamTest, SoundTransformFollowsTheAttachedNode) {
  const SoundTransform quiet{0.25f, -0.5f};
  blockOn(incoming->setSoundTransform(quiet));  // no node: nothing to set
  EXPECT_EQ(blockOn(incoming->soundTransform()), std::nullopt);

  blockOn(incoming->attachAudioPlayer(player));
  EXPECT_EQ(blockOn(incoming->soundTransform()), SoundTransform());
  blockOn(incoming->setSoundTransform(quiet));
  EXPECT_EQ(blockOn(incoming->soundTransform()), quiet) << "what is set is what is read";

  // A new player gives a new node with its own transform; none detaches it.
  blockOn(incoming->attachAudioPlayer(AudioPlayer::make(engine)));
  EXPECT_EQ(blockOn(incoming->soundTransform()), SoundTransform());
  blockOn(incoming->attachAudioPlayer(nullptr));
  EXPECT_EQ(blockOn(incoming->soundTransform()), std::nullopt);
}

}  // namespace
}  // namespace fluvio
