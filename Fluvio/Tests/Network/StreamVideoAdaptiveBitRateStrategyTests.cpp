#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "Fluvio/Sources/Network/StreamVideoAdaptiveBitRateStrategy.hpp"
#include "Fluvio/Sources/Stream/StreamConvertible.hpp"
#include "Platform/Concurrency/BlockOn.hpp"

using namespace fluvio;
using platform::Async;

namespace {

// Holds settings and records every video-settings change it is asked for.
class SettingsStream : public StreamConvertible {
 public:
  SettingsStream(Key key, std::int64_t videoBitRate, std::int64_t audioBitRate, double frameInterval = 0.0)
      : StreamConvertible(key), audio_(audioBitRate) {
    video_.bitRate = videoBitRate;
    video_.frameInterval = frameInterval;
  }

  struct Change {
    std::int64_t bitRate;
    double frameInterval;
    friend bool operator==(const Change&, const Change&) = default;
  };
  std::vector<Change> changes;
  bool rejectsChanges = false;

  Async<std::optional<std::uint8_t>> videoTrackId() override { co_return std::nullopt; }
  Async<std::optional<std::uint8_t>> audioTrackId() override { co_return std::nullopt; }
  void mixer(MediaMixer&, const platform::CMSampleBuffer&) override {}
  void mixer(MediaMixer&, const std::shared_ptr<platform::AVAudioPCMBuffer>&,
             const std::shared_ptr<platform::AVAudioTime>&) override {}
  Async<void> selectTrack(std::optional<std::uint8_t>, platform::CMMediaType) override { co_return; }

  Async<StreamReadyState> readyState() override { co_return StreamReadyState::publishing; }
  Async<std::optional<SoundTransform>> soundTransform() override { co_return std::nullopt; }
  Async<AudioCodecSettings> audioSettings() override { co_return audio_; }
  Async<VideoCodecSettings> videoSettings() override { co_return video_; }
  Async<void> setBitRateStrategy(std::shared_ptr<StreamBitRateStrategy>) override { co_return; }
  Async<void> setAudioSettings(AudioCodecSettings settings) override {
    audio_ = settings;
    co_return;
  }
  Async<void> setVideoSettings(VideoCodecSettings settings) override {
    changes.push_back({settings.bitRate, settings.frameInterval});
    if (rejectsChanges) throw std::runtime_error("rejected");
    video_ = settings;
    co_return;
  }
  Async<void> setSoundTransform(SoundTransform) override { co_return; }
  Async<void> setVideoInputBufferCounts(int) override { co_return; }
  Async<void> append(platform::CMSampleBuffer) override { co_return; }
  Async<void> append(std::shared_ptr<platform::AVAudioBuffer>, std::shared_ptr<platform::AVAudioTime>) override {
    co_return;
  }
  Async<void> attachAudioPlayer(std::shared_ptr<AudioPlayer>) override { co_return; }
  Async<void> addOutput(std::shared_ptr<StreamOutput>) override { co_return; }
  Async<void> removeOutput(std::shared_ptr<StreamOutput>) override { co_return; }
  Async<void> dispatch(NetworkMonitorEvent) override { co_return; }

  std::int64_t bitRate() const { return video_.bitRate; }
  double frameInterval() const { return video_.frameInterval; }

 private:
  AudioCodecSettings audio_;
  VideoCodecSettings video_;
};

NetworkMonitorReport sent(std::int64_t bytesOutPerSecond) {
  return {.totalBytesIn = 0,
          .totalBytesOut = 0,
          .currentQueueBytesOut = 0,
          .currentBytesInPerSecond = 0,
          .currentBytesOutPerSecond = bytesOutPerSecond};
}

const auto calm = NetworkMonitorEvent::status(sent(1000));
const auto stalled = NetworkMonitorEvent::publishInsufficientBWOccured(sent(0));

void send(StreamVideoAdaptiveBitRateStrategy& strategy, const std::shared_ptr<SettingsStream>& stream,
          const NetworkMonitorEvent& event, int times = 1) {
  for (int index = 0; index < times; ++index) platform::blockOn(strategy.adjustBitrate(event, stream));
}

}  // namespace

TEST(StreamVideoAdaptiveBitRateStrategy, ReportsItsMaximaAndNeverTouchesAudio) {
  const auto strategy = StreamVideoAdaptiveBitRateStrategy::make(2'000'000);
  EXPECT_EQ(strategy->mamimumVideoBitRate(), 2'000'000);
  EXPECT_EQ(strategy->mamimumAudioBitRate(), 0);
  const auto stream = platform::Actor::make<SettingsStream>(1'000'000, 128'000);
  send(*strategy, stream, NetworkMonitorEvent::publishInsufficientBWOccured(sent(100'000)));
  EXPECT_EQ(platform::blockOn(stream->audioSettings()).bitRate, 128'000);
}

TEST(StreamVideoAdaptiveBitRateStrategy, CalmReportsClimbATenthOfTheMaximumEverySixteenth) {
  struct Row {
    std::int64_t start;
    std::vector<std::int64_t> steps;  // the bit rate after each run of sixteen calm reports
  };
  const std::vector<Row> table{
      {1'000'000, {1'200'000, 1'400'000}},
      {1'900'000, {2'000'000, 2'000'000}},  // capped, and then at the maximum nothing moves
      {2'500'000, {2'000'000}},             // set above the maximum by hand: brought down to it
  };
  for (const auto& row : table) {
    const auto strategy = StreamVideoAdaptiveBitRateStrategy::make(2'000'000);
    const auto stream = platform::Actor::make<SettingsStream>(row.start, 128'000);
    for (const auto step : row.steps) {
      const auto changesBefore = stream->changes.size();
      send(*strategy, stream, calm, 15);
      EXPECT_EQ(stream->changes.size(), changesBefore) << "start " << row.start;
      send(*strategy, stream, calm);
      EXPECT_EQ(stream->bitRate(), step) << "start " << row.start;
    }
  }
  // At the maximum the reports are not counted: a later drop climbs only after sixteen more.
  const auto strategy = StreamVideoAdaptiveBitRateStrategy::make(2'000'000);
  const auto stream = platform::Actor::make<SettingsStream>(2'000'000, 0);
  send(*strategy, stream, calm, 40);
  EXPECT_TRUE(stream->changes.empty());
}

TEST(StreamVideoAdaptiveBitRateStrategy, InsufficientBandwidthSetsTheMeasuredRateLessAudio) {
  struct Row {
    std::int64_t maximum;
    std::int64_t bytesOutPerSecond;
    std::int64_t expected;
  };
  const std::vector<Row> table{
      {2'000'000, 100'000, 672'000},     // 800,000 less 128,000 audio
      {10'000'000, 100'000, 1'000'000},  // a tenth of the maximum is the floor
      {2'000'000, 1'000'000, 2'000'000},  // never above the maximum
      {2'000'000, INT64_MAX, 2'000'000},  // absurd counters neither overflow nor exceed it
  };
  for (const auto& row : table) {
    const auto strategy = StreamVideoAdaptiveBitRateStrategy::make(row.maximum);
    const auto stream = platform::Actor::make<SettingsStream>(1'500'000, 128'000);
    send(*strategy, stream, NetworkMonitorEvent::publishInsufficientBWOccured(sent(row.bytesOutPerSecond)));
    EXPECT_EQ(stream->bitRate(), row.expected) << "maximum " << row.maximum;
  }
}

TEST(StreamVideoAdaptiveBitRateStrategy, AStallSlowsTheFramesAndTrafficRestoresThem) {
  constexpr double initialInterval = VideoCodecSettings::frameInterval30;
  const auto strategy = StreamVideoAdaptiveBitRateStrategy::make(2'000'000);
  const auto stream = platform::Actor::make<SettingsStream>(1'000'000, 128'000, initialInterval);
  send(*strategy, stream, stalled, 6);
  using Change = SettingsStream::Change;
  EXPECT_EQ(stream->changes, (std::vector<Change>{{1'000'000, initialInterval},
                                                  {1'000'000, initialInterval},
                                                  {1'000'000, VideoCodecSettings::frameInterval10},
                                                  {1'000'000, VideoCodecSettings::frameInterval10},
                                                  {1'000'000, VideoCodecSettings::frameInterval05},
                                                  {1'000'000, VideoCodecSettings::frameInterval05}}));

  // 2,400,000 bits shared over the six stalled seconds and this one, less audio.
  send(*strategy, stream, NetworkMonitorEvent::publishInsufficientBWOccured(sent(300'000)));
  EXPECT_EQ(stream->bitRate(), 2'400'000 / 7 - 128'000);
  EXPECT_EQ(stream->frameInterval(), initialInterval);

  // The stall count was cleared: the next measurement is not divided.
  send(*strategy, stream, NetworkMonitorEvent::publishInsufficientBWOccured(sent(100'000)));
  EXPECT_EQ(stream->bitRate(), 672'000);
}

TEST(StreamVideoAdaptiveBitRateStrategy, ResetRestoresTheMaximumAndTrafficTheFrameRate) {
  const auto strategy = StreamVideoAdaptiveBitRateStrategy::make(2'000'000);
  const auto stream = platform::Actor::make<SettingsStream>(700'000, 128'000);
  send(*strategy, stream, stalled, 3);
  ASSERT_EQ(stream->frameInterval(), VideoCodecSettings::frameInterval10);

  send(*strategy, stream, NetworkMonitorEvent::reset());
  EXPECT_EQ(stream->bitRate(), 2'000'000);
  EXPECT_EQ(stream->frameInterval(), VideoCodecSettings::frameInterval10);

  // A stalled status report changes nothing; one with traffic brings the frames back.
  const auto changes = stream->changes.size();
  send(*strategy, stream, NetworkMonitorEvent::status(sent(0)));
  EXPECT_EQ(stream->changes.size(), changes);
  send(*strategy, stream, calm);
  EXPECT_EQ(stream->frameInterval(), 0.0);
  EXPECT_EQ(stream->bitRate(), 2'000'000);

  // After reset the stall count starts again: the third stalled report slows the frames.
  send(*strategy, stream, stalled, 2);
  EXPECT_EQ(stream->frameInterval(), 0.0);
  send(*strategy, stream, stalled);
  EXPECT_EQ(stream->frameInterval(), VideoCodecSettings::frameInterval10);
}

TEST(StreamVideoAdaptiveBitRateStrategy, InsufficientBandwidthRestartsTheCalmCount) {
  const auto strategy = StreamVideoAdaptiveBitRateStrategy::make(2'000'000);
  const auto stream = platform::Actor::make<SettingsStream>(1'000'000, 0);
  send(*strategy, stream, calm, 10);
  send(*strategy, stream, NetworkMonitorEvent::publishInsufficientBWOccured(sent(125'000)));
  ASSERT_EQ(stream->bitRate(), 1'000'000);
  send(*strategy, stream, calm, 15);
  EXPECT_EQ(stream->bitRate(), 1'000'000);
  send(*strategy, stream, calm);
  EXPECT_EQ(stream->bitRate(), 1'200'000);
}

TEST(StreamVideoAdaptiveBitRateStrategy, RejectedChangesMoveTheCountersAsAcceptedOnes) {
  const auto strategy = StreamVideoAdaptiveBitRateStrategy::make(2'000'000);
  const auto stream = platform::Actor::make<SettingsStream>(1'000'000, 0);
  stream->rejectsChanges = true;
  send(*strategy, stream, calm, 16);
  ASSERT_EQ(stream->changes.size(), 1u);
  EXPECT_EQ(stream->changes.back().bitRate, 1'200'000);
  send(*strategy, stream, calm, 15);
  EXPECT_EQ(stream->changes.size(), 1u);

  send(*strategy, stream, stalled, 3);
  ASSERT_EQ(stream->changes.size(), 4u);
  EXPECT_EQ(stream->changes.back().frameInterval, VideoCodecSettings::frameInterval10);
}
