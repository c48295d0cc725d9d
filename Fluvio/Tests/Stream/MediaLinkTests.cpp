#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Fluvio/Sources/Stream/AudioPlayer.hpp"
#include "Fluvio/Sources/Stream/AudioPlayerNode.hpp"
#include "Fluvio/Sources/Stream/MediaLink.hpp"
#include "Fluvio/Sources/Util/FluvioLogger.hpp"
#include "Platform/AVFAudio/AVAudioEngine.hpp"
#include "Platform/AVFAudio/NullAudioDevice.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Tests/Support/Eventually.hpp"
#include "Platform/CoreMedia/CMBlockBuffer.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "Platform/QuartzCore/ManualDisplayTickSource.hpp"
#include "Tracepost/Sources/TPLoggerAppender.hpp"

namespace fluvio {
namespace {

using platform::CMSampleBuffer;
using platform::CMTime;

using namespace std::chrono_literals;

// Info and error lines of the module logger; written from the link's strand.
class LineRecorder : public tracepost::TPLoggerAppender {
 public:
  void append(const tracepost::TPLogger&, tracepost::TPLoggerLevel level, tracepost::Message message, std::string_view,
              std::string_view, int) override {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(level, tracepost::messageText(message));
  }
  void append(const tracepost::TPLogger&, tracepost::TPLoggerLevel, std::string_view, const tracepost::FormatArgument&,
              std::string_view, std::string_view, int) override {}

  std::vector<std::string> at(tracepost::TPLoggerLevel level) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> texts;
    for (const auto& [lineLevel, text] : lines_) {
      if (lineLevel == level) texts.push_back(text);
    }
    return texts;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<tracepost::TPLoggerLevel, std::string>> lines_;
};

// A one-byte compressed frame presented at `time`.
CMSampleBuffer frameAt(CMTime time) {
  const auto format = platform::CMFormatDescription::makeVideo(platform::kCMVideoCodecType_H264, {16, 16}).value;
  const platform::CMSampleTimingInfo timing{CMTime::make(1, 30), time, time};
  const std::size_t size = 1;
  return *CMSampleBuffer::make(platform::CMBlockBuffer::make(std::vector<std::uint8_t>{0}), true, format, 1,
                               {&timing, 1}, {&size, 1})
              .value;
}

CMSampleBuffer frameAt(double seconds) { return frameAt(CMTime::makeWithSeconds(seconds, 90'000)); }

class MediaLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousAppender_ = logger().appender();
    logger().setAppender(recorder);
  }
  void TearDown() override {
    if (link) platform::blockOn(link->stopRunning());
    logger().setAppender(previousAppender_);
  }

  void start() {
    platform::blockOn(link->startRunning());
    frames = platform::blockOn(link->frames());
  }

  void enqueue(double seconds) { platform::blockOn(link->enqueue(frameAt(seconds))); }

  // One display frame, handled by the link before this returns. The link
  // announces no handled tick: its display time is read until it grows.
  void tick() {
    const double before = platform::blockOn(link->duration());
    source->tick();
    ASSERT_TRUE(platform::testing::eventually([&] { return platform::blockOn(link->duration()) > before; }))
        << "the link never handled the tick";
  }

  // Presentation times of the frames released since the last call: reading
  // the sequence again ends the one before, which then drains.
  std::vector<double> released() {
    const auto previous = std::exchange(frames, platform::blockOn(link->frames()));
    return drain(*previous);
  }

  static std::vector<double> drain(const MediaLink::Frames& sequence) {
    return platform::blockOn([sequence]() -> platform::Async<std::vector<double>> {
      std::vector<double> times;
      while (const auto frame = co_await sequence.next()) times.push_back(frame->presentationTimeStamp().seconds());
      co_return times;
    });
  }

  std::shared_ptr<LineRecorder> recorder = std::make_shared<LineRecorder>();
  std::shared_ptr<platform::ManualDisplayTickSource> source = std::make_shared<platform::ManualDisplayTickSource>();
  std::shared_ptr<MediaLink> link = MediaLink::make(source);
  std::optional<MediaLink::Frames> frames;

 private:
  std::shared_ptr<tracepost::TPLoggerAppender> previousAppender_;
};

using Times = std::vector<double>;

TEST_F(MediaLinkTest, PacesByDisplayTimeCountedFromTheFirstTickAndTheFirstFrame) {
  start();
  for (int i = 0; i < 4; ++i) enqueue(10.0 + i / 30.0);

  tick();  // display time 0: only the first frame (difference 0)
  EXPECT_EQ(released(), Times{10.0});
  tick();  // 1/60 s
  EXPECT_EQ(released(), Times{});
  tick();  // 2/60 s: the second frame is due
  EXPECT_EQ(released(), Times{10.0 + 1 / 30.0});
  tick();
  tick();
  EXPECT_EQ(released(), Times{10.0 + 2 / 30.0});
  EXPECT_NEAR(platform::blockOn(link->duration()), 5 * 16'666'667 / 1e9, 1e-9);
}

TEST_F(MediaLinkTest, LateFramesAreReleasedAtOnceAndInPresentationOrder) {
  start();
  for (int i = 0; i < 6; ++i) tick();  // 0.1 s of display time before any frame
  enqueue(5.0);
  enqueue(5.3);
  enqueue(4.9);  // before the origin: a negative difference
  tick();
  EXPECT_EQ(released(), (Times{4.9, 5.0}));
}

TEST_F(MediaLinkTest, ReportsABurstOnlyWhenAFrameIsLeftWaiting) {
  start();
  for (int i = 0; i < 6; ++i) tick();
  for (const double time : {1.0, 1.03, 1.06}) enqueue(time);
  tick();
  EXPECT_EQ(released(), (Times{1.0, 1.03, 1.06}));
  EXPECT_TRUE(recorder->at(tracepost::TPLoggerLevel::info).empty()) << "a burst that empties the queue is quiet";

  for (const double time : {1.07, 1.08, 1.09, 1.5}) enqueue(time);
  tick();
  EXPECT_EQ(released(), (Times{1.07, 1.08, 1.09}));
  EXPECT_EQ(recorder->at(tracepost::TPLoggerLevel::info), std::vector<std::string>{"droppedFrame: 3"});
}

TEST_F(MediaLinkTest, StopEndsTheSequenceEmptiesTheQueueAndRestartTakesANewOrigin) {
  enqueue(0.0);  // ignored while stopped
  start();
  tick();
  EXPECT_EQ(released(), Times{});

  enqueue(1.0);
  enqueue(2.0);
  tick();
  const auto sequence = *frames;
  platform::blockOn(link->stopRunning());
  EXPECT_FALSE(platform::blockOn(link->isRunning()));
  EXPECT_EQ(drain(sequence), Times{1.0});  // and then it ends
  EXPECT_EQ(source->subscriberCount(), 0u);

  start();
  EXPECT_EQ(platform::blockOn(link->duration()), 0.0);
  enqueue(7.0);
  tick();
  EXPECT_EQ(released(), Times{7.0}) << "2.0 was emptied; 7.0 is the new origin";
}

TEST_F(MediaLinkTest, FramesThatCanNeverFallDueAreRefused) {
  start();
  platform::blockOn(link->enqueue(frameAt(CMTime::invalid)));
  EXPECT_EQ(recorder->at(tracepost::TPLoggerLevel::error).size(), 1u);
  enqueue(3.0);
  tick();
  EXPECT_EQ(released(), Times{3.0});
}

TEST_F(MediaLinkTest, AFullQueueRefusesTheFrameCountsItAndCarriesOn) {
  start();
  for (std::size_t i = 0; i < MediaLink::capacity; ++i) enqueue(1.0 + static_cast<double>(i));
  EXPECT_EQ(platform::blockOn(link->drops()), MediaLink::Drops{});
  enqueue(1.0 + MediaLink::capacity);
  EXPECT_EQ(recorder->at(tracepost::TPLoggerLevel::error).size(), 1u);
  EXPECT_EQ(platform::blockOn(link->drops()), (MediaLink::Drops{1, 0}));
  tick();
  EXPECT_EQ(released(), Times{1.0});
}

TEST_F(MediaLinkTest, AConsumerThatFallsBehindGetsTheNewestDueFramesAndTheRestAreCounted) {
  start();
  for (int i = 0; i < 6; ++i) tick();  // 0.1 s of display time: every frame below is due at once
  Times due;
  const auto enqueueFrames = [&](std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      const double seconds = 5.0 + static_cast<double>(due.size()) / 10'000;
      due.push_back(CMTime::makeWithSeconds(seconds, 90'000).seconds());
      enqueue(seconds);
    }
  };
  // The consumer reads nothing until both ticks are over.
  enqueueFrames(MediaLink::dueFramesLimit);
  tick();
  EXPECT_EQ(platform::blockOn(link->drops()), MediaLink::Drops{}) << "a whole queue released at once is kept";
  enqueueFrames(2);
  tick();
  EXPECT_EQ(platform::blockOn(link->drops()), (MediaLink::Drops{0, 2}));
  EXPECT_EQ(released(), Times(due.begin() + 2, due.end())) << "the oldest two went";
  EXPECT_EQ(platform::blockOn(link->drops()), (MediaLink::Drops{0, 2})) << "still counted once their sequence ended";
}

// Whether a wait for room has ended: the waiting thread sets it.
class RoomWait {
 public:
  explicit RoomWait(std::shared_ptr<MediaLink> link)
      : done_(std::async(std::launch::async, [link] { platform::blockOn(link->room()); })) {}
  // A wait that must not end yet is given a moment to show it would.
  bool endsWithin(std::chrono::milliseconds wait) { return done_.wait_for(wait) == std::future_status::ready; }

 private:
  std::future<void> done_;
};

TEST_F(MediaLinkTest, RoomLeavesTheDecodersLeadFreeAndAStopEndsTheWait) {
  start();
  const std::size_t roomy = MediaLink::capacity - MediaLink::decoderLead;
  for (std::size_t i = 0; i + 1 < roomy; ++i) enqueue(static_cast<double>(i));
  EXPECT_TRUE(RoomWait(link).endsWithin(10s)) << "one frame short of the lead";
  enqueue(static_cast<double>(roomy - 1));
  RoomWait full(link);
  EXPECT_FALSE(full.endsWithin(200ms)) << "room while the lead is taken";
  // The first tick releases the first frame, which frees one place.
  tick();
  EXPECT_EQ(released(), Times{0.0});
  EXPECT_TRUE(full.endsWithin(10s));

  enqueue(100.0);
  RoomWait stopped(link);
  EXPECT_FALSE(stopped.endsWithin(200ms));
  platform::blockOn(link->stopRunning());
  EXPECT_TRUE(stopped.endsWithin(10s));
  EXPECT_TRUE(RoomWait(link).endsWithin(10s)) << "a stopped link refuses nothing";
}

TEST_F(MediaLinkTest, StartAndStopTwiceChangeNothing) {
  start();
  platform::blockOn(link->startRunning());
  EXPECT_EQ(source->subscriberCount(), 1u);
  enqueue(1.0);
  tick();
  EXPECT_EQ(released(), Times{1.0});
  platform::blockOn(link->stopRunning());
  platform::blockOn(link->stopRunning());
  EXPECT_FALSE(platform::blockOn(link->isRunning()));
}

TEST_F(MediaLinkTest, ReleasingARunningLinkEndsItsTicks) {
  start();
  tick();
  link.reset();
  // The link's run ends on its strand after the release, which no one is told of.
  EXPECT_TRUE(platform::testing::eventually([&] { return source->subscriberCount() == 0; }));
  EXPECT_EQ(drain(*frames), Times{});
}

// A player whose null device plays one 1,024-frame period at 48 kHz per advance().
class MediaLinkAudioClockTest : public MediaLinkTest {
 protected:
  void SetUp() override {
    MediaLinkTest::SetUp();
    node = platform::blockOn(player->makePlayerNode());
    platform::blockOn(node->startRunning());
    platform::blockOn(link->setAudioPlayer(node));
  }
  void TearDown() override {
    platform::blockOn(node->stopRunning());
    MediaLinkTest::TearDown();
  }

  // Enough silence to start playback.
  void startPlayback() {
    const auto format = platform::AVAudioFormat::makeStandard(48'000, 1);
    for (int i = 0; i < AudioPlayerNode::buffersBeforePlayback; ++i) {
      auto buffer = platform::AVAudioPCMBuffer::make(format, 1024);
      buffer->setFrameLength(1024);
      platform::blockOn(node->enqueue(buffer));
    }
    ASSERT_TRUE(platform::blockOn(node->isPlaying()));
  }

  std::shared_ptr<platform::NullAudioDevice> device = platform::NullAudioDevice::make(
      platform::AVAudioFormat::makeStandard(48'000, 2), 1024, platform::NullAudioDevice::Clock::manual);
  std::shared_ptr<AudioPlayer> player = AudioPlayer::make(platform::AVAudioEngine::make(device));
  std::shared_ptr<AudioPlayerNode> node;
};

TEST_F(MediaLinkAudioClockTest, APlayingNodePacesByTheAudioPlayed) {
  start();
  startPlayback();
  for (const double time : {20.0, 20.05, 20.1}) enqueue(time);
  // The node time is that of the last render cycle begun: 3,072 frames, 0.064 s
  // of audio, while display time is still 0.
  device->advance(4);
  tick();
  EXPECT_EQ(released(), (Times{20.0, 20.05}));
  device->advance(2);
  tick();
  EXPECT_EQ(released(), Times{20.1});
}

TEST_F(MediaLinkAudioClockTest, ANodeThatDoesNotPlayLeavesVideoOnDisplayTime) {
  start();
  for (const double time : {20.0, 20.02, 20.5}) enqueue(time);
  tick();
  tick();
  tick();
  EXPECT_EQ(released(), (Times{20.0, 20.02})) << "video must not freeze while no audio plays";
}

}  // namespace
}  // namespace fluvio
