#include <gtest/gtest.h>

#include <algorithm>
#include <asio/strand.hpp>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "Fluvio/Sources/Codec/VTSessionError.hpp"
#include "Fluvio/Sources/Codec/VideoCodec.hpp"
#include "Fluvio/Sources/Extension/CMSampleBufferExtension.hpp"
#include "Fluvio/Sources/Util/FluvioLogger.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Tests/Support/Watched.hpp"
#include "Platform/Concurrency/Sleep.hpp"
#include "Platform/Concurrency/Task.hpp"
#include "Platform/CoreMedia/CMClock.hpp"
#include "Platform/CoreMedia/CVPixelFormatType.hpp"
#include "Platform/Foundation/NotificationCenter.hpp"
#include "Platform/VideoToolbox/VTSessionWorker.hpp"
#include "Tracepost/Sources/TPLoggerAppender.hpp"

namespace fluvio {
namespace {

using platform::CMSampleBuffer;
using platform::CMTime;
using SampleStream = platform::AsyncStream<CMSampleBuffer>;

using namespace std::chrono_literals;

constexpr std::int32_t kTimescale = 600;

CMTime ticks(std::int64_t value) { return CMTime::make(value, kTimescale); }

CMSampleBuffer videoFrame(CMTime time, std::int32_t width = 64,
                          platform::OSType pixelFormat = platform::kCVPixelFormatType_32BGRA) {
  const auto image = platform::CVPixelBuffer::make(width, 48, pixelFormat);
  const auto format = platform::CMFormatDescription::makeForImageBuffer(*image.value);
  const auto sample =
      CMSampleBuffer::makeReadyWithImageBuffer(image.value, format.value, {ticks(20), time, CMTime::invalid});
  return *sample.value;
}

CMSampleBuffer compressedFrame(CMTime time) {
  const auto format = platform::CMFormatDescription::makeVideo(platform::kCMVideoCodecType_H264, {64, 48});
  const std::vector<std::uint8_t> bytes{0, 0, 0, 1, 0x65};
  const platform::CMSampleTimingInfo timing{ticks(20), time, time};
  const std::size_t size = bytes.size();
  const auto sample = CMSampleBuffer::make(platform::CMBlockBuffer::make(std::vector(bytes)), true, format.value, 1,
                                           {&timing, 1}, {&size, 1});
  return *sample.value;
}

// Stands in for a platform session: records what the codec asks of it and
// passes every submitted frame straight to the continuation.
class FakeSession : public VTSessionConvertible {
 public:
  platform::OSStatus applyOption(const VTSessionOption& option) override {
    applied.push_back(option);
    return 0;
  }
  void convert(const CMSampleBuffer& sampleBuffer, const VideoCodec::Continuation& continuation) override {
    if (failConvert)
      throw VTSessionError(VTSessionError::Case::failedToConvert, platform::kVTVideoEncoderMalfunctionErr);
    converted.push_back(sampleBuffer.presentationTimeStamp());
    continuation.yield(sampleBuffer);
  }
  platform::Async<void> room() override { co_return; }
  void completeFramesThenInvalidate(std::function<void()> completed) override {
    invalidate();
    if (completed) completed();
  }
  void invalidate() override { invalidated = true; }
  // Records which frame, by its place among those converted, takes the request.
  void requestKeyFrame() override { keyFrameRequests.push_back(converted.size()); }
  platform::OSStatus setProperties(const platform::VTPropertyDictionary&) override { return 0; }

  std::vector<VTSessionOption> applied;
  std::vector<CMTime> converted;
  std::vector<std::size_t> keyFrameRequests;
  bool failConvert = false;
  bool invalidated = false;
};

struct MadeSession {
  std::shared_ptr<FakeSession> session;
  bool decoding;
  std::shared_ptr<const platform::CMFormatDescription> inputFormat;
};

class RecordingAppender : public tracepost::TPLoggerAppender {
 public:
  void append(const tracepost::TPLogger&, tracepost::TPLoggerLevel level, tracepost::Message message, std::string_view,
              std::string_view, int) override {
    lines.push_back({level, tracepost::messageText(message)});
  }
  void append(const tracepost::TPLogger&, tracepost::TPLoggerLevel level, std::string_view format,
              const tracepost::FormatArgument&, std::string_view, std::string_view, int) override {
    lines.push_back({level, std::string(format)});
  }
  std::vector<std::pair<tracepost::TPLoggerLevel, std::string>> lines;
};

class VideoCodecTests : public ::testing::Test {
 protected:
  void SetUp() override {
    previousAppender_ = logger().appender();
    logger().setAppender(appender);
    codec = VideoCodec::make([this](const VideoCodecSettings&, const auto& inputFormat, bool decoding) {
      if (failuresLeft > 0) {
        --failuresLeft;
        throw VTSessionError(VTSessionError::Case::failedToCreate, platform::kVTCouldNotFindVideoEncoderErr);
      }
      made.push_back({std::make_shared<FakeSession>(), decoding, inputFormat});
      return std::shared_ptr<VTSessionConvertible>(made.back().session);
    });
    auto [stream, continuation] = SampleStream::makeStream();
    output.emplace(std::move(stream));
    codec->setContinuation(continuation);
  }
  void TearDown() override { logger().setAppender(previousAppender_); }

  FakeSession& session() { return *made.back().session; }

  std::vector<CMTime> encode(std::initializer_list<std::int64_t> times) {
    for (const auto time : times) codec->append(videoFrame(ticks(time)));
    return session().converted;
  }

  // Everything the consumer receives; ends once the codec finishes the stream.
  std::vector<CMTime> drainOutput() {
    return platform::blockOn([stream = *output]() -> platform::Async<std::vector<CMTime>> {
      std::vector<CMTime> times;
      while (auto sample = co_await stream.next()) times.push_back(sample->presentationTimeStamp());
      co_return times;
    });
  }

  std::size_t linesAt(tracepost::TPLoggerLevel level) const {
    return std::count_if(appender->lines.begin(), appender->lines.end(),
                         [level](const auto& line) { return line.first == level; });
  }

  std::shared_ptr<RecordingAppender> appender = std::make_shared<RecordingAppender>();
  std::shared_ptr<VideoCodec> codec;
  std::vector<MadeSession> made;
  int failuresLeft = 0;
  std::optional<SampleStream> output;

 private:
  std::shared_ptr<tracepost::TPLoggerAppender> previousAppender_;
};

TEST_F(VideoCodecTests, TimingGateDropsFramesNotLaterThanTheLastOrTooClose) {
  codec->startRunning();
  // Zero is not later than the initial time; equal and earlier times repeat the last.
  EXPECT_EQ(encode({0, 20, 20, 10, 40}), (std::vector<CMTime>{ticks(20), ticks(40)}));

  auto settings = codec->settings();
  settings.frameInterval = VideoCodecSettings::frameInterval30;
  codec->setSettings(settings);
  EXPECT_EQ(codec->frameInterval(), VideoCodecSettings::frameInterval30);
  // 60 frames per second are thinned to every second one.
  EXPECT_EQ(encode({50, 60, 70, 80, 90, 100}),
            (std::vector<CMTime>{ticks(20), ticks(40), ticks(60), ticks(80), ticks(100)}));
}

TEST_F(VideoCodecTests, FramesWithoutAValidTimeAreDroppedWithoutHoldingBackLaterOnes) {
  codec->startRunning();
  codec->append(videoFrame(CMTime::invalid));
  EXPECT_EQ(encode({10, 20}), (std::vector<CMTime>{ticks(10), ticks(20)}));
}

TEST_F(VideoCodecTests, WithoutPassthroughFramesBeforeTheStartAreDropped) {
  codec->setPassthrough(false);
  const auto before = platform::CMClock::hostTimeClock()->time();
  codec->startRunning();
  const auto later = before + CMTime::make(1, 1);
  codec->append(videoFrame(ticks(20)));
  codec->append(videoFrame(before));
  codec->append(videoFrame(later));
  EXPECT_EQ(session().converted, (std::vector<CMTime>{later}));
}

TEST_F(VideoCodecTests, SessionIsMadeLazilyForTheInputAndRemadeWhenTheFormatChanges) {
  codec->append(videoFrame(ticks(10)));
  EXPECT_TRUE(made.empty());
  codec->startRunning();
  EXPECT_TRUE(made.empty());

  encode({10, 20});
  ASSERT_EQ(made.size(), 1u);
  EXPECT_FALSE(made[0].decoding);
  EXPECT_EQ(made[0].inputFormat->mediaSubType(), platform::kCVPixelFormatType_32BGRA);

  // Another size, then another pixel format: a new session on that very frame.
  codec->append(videoFrame(ticks(30), 96));
  ASSERT_EQ(made.size(), 2u);
  EXPECT_TRUE(made[0].session->invalidated);
  EXPECT_EQ(made[1].session->converted, (std::vector<CMTime>{ticks(30)}));
  codec->append(videoFrame(ticks(40), 96, platform::kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange));
  EXPECT_EQ(made.size(), 3u);

  // Compressed input decodes, with no timing gate.
  codec->append(compressedFrame(ticks(0)));
  codec->append(compressedFrame(ticks(0)));
  ASSERT_EQ(made.size(), 4u);
  EXPECT_TRUE(made[3].decoding);
  EXPECT_EQ(made[3].session->converted.size(), 2u);
}

TEST_F(VideoCodecTests, KeyFrameRequestsGoWithTheNextFrameConvertedOnce) {
  codec->startRunning();
  encode({20});
  codec->requestKeyFrame();
  EXPECT_TRUE(session().keyFrameRequests.empty());
  codec->requestKeyFrame();
  // The frame the timing gate drops does not take the request; the next one does, alone.
  encode({20, 40, 60});
  EXPECT_EQ(session().keyFrameRequests, (std::vector<std::size_t>{1}));
  codec->requestKeyFrame();
  encode({80});
  EXPECT_EQ(session().keyFrameRequests, (std::vector<std::size_t>{1, 3}));
}

TEST_F(VideoCodecTests, WithoutAContinuationFramesAreDroppedUnconverted) {
  codec->setContinuation(std::nullopt);
  codec->startRunning();
  codec->append(videoFrame(ticks(10)));
  ASSERT_EQ(made.size(), 1u);
  EXPECT_TRUE(session().converted.empty());
}

TEST_F(VideoCodecTests, LiveSettingsReachTheRunningSession) {
  codec->startRunning();
  encode({10});
  auto settings = codec->settings();
  settings.bitRate = 1'280'000;
  codec->setSettings(settings);

  EXPECT_EQ(made.size(), 1u);
  ASSERT_EQ(session().applied.size(), 2u);
  EXPECT_EQ(session().applied[0].key.rawValue, platform::kVTCompressionPropertyKey_AverageBitRate);
  EXPECT_EQ(session().applied[0].value, platform::VTPropertyValue(std::int64_t{1'280'000}));
  // The derived limit follows the new rate.
  EXPECT_EQ(session().applied[1].key.rawValue, platform::kVTCompressionPropertyKey_DataRateLimits);
  EXPECT_EQ(session().applied[1].value, platform::VTPropertyValue(platform::VTPropertyValue::List{240'000.0, 1.0}));
  ASSERT_EQ(appender->lines.size(), 1u);
  EXPECT_EQ(appender->lines[0],
            std::pair(tracepost::TPLoggerLevel::info, std::string("bitRate change from 640000 to 1280000")));

  // A limit of its own is left alone.
  session().applied.clear();
  settings.dataRateLimits = std::vector<double>{500'000, 0};
  codec->setSettings(settings);
  encode({20});
  settings.bitRate = 900'000;
  codec->setSettings(settings);
  ASSERT_EQ(session().applied.size(), 1u);
  EXPECT_EQ(session().applied[0].key.rawValue, platform::kVTCompressionPropertyKey_AverageBitRate);

  session().applied.clear();
  settings.expectedFrameRate = 30;
  codec->setSettings(settings);
  codec->setSettings(settings);
  settings.expectedFrameRate.reset();
  codec->setSettings(settings);
  codec->setSettings(settings);
  ASSERT_EQ(session().applied.size(), 2u);
  EXPECT_EQ(session().applied[0].value, platform::VTPropertyValue(30.0));
  EXPECT_EQ(session().applied[1].key.rawValue, platform::kVTCompressionPropertyKey_ExpectedFrameRate);
  EXPECT_EQ(session().applied[1].value, platform::VTPropertyValue(0.0));
}

TEST_F(VideoCodecTests, SessionFieldsRemakeTheSessionOnTheNextFrameWithoutALogLine) {
  codec->startRunning();
  encode({10});
  auto settings = codec->settings();
  settings.videoSize = {1280, 720};
  codec->setSettings(settings);
  EXPECT_TRUE(codec->needsNewSession());
  EXPECT_TRUE(appender->lines.empty());
  EXPECT_TRUE(session().applied.empty());
  encode({20});
  EXPECT_EQ(made.size(), 2u);

  settings.setProfileLevel(std::string(platform::kVTProfileLevel_H264_High_3_1));
  codec->setSettings(settings);
  encode({30});
  EXPECT_EQ(made.size(), 3u);

  settings.format = VideoCodecSettings::Format::hevc;
  codec->setSettings(settings);
  encode({40});
  EXPECT_EQ(made.size(), 4u);
}

TEST_F(VideoCodecTests, FailuresAreLoggedPerFrameAndNeverThrown) {
  codec->startRunning();
  failuresLeft = 2;
  codec->append(videoFrame(ticks(10)));
  codec->append(videoFrame(ticks(20)));
  EXPECT_EQ(linesAt(tracepost::TPLoggerLevel::warn), 2u);
  EXPECT_TRUE(made.empty());
  EXPECT_TRUE(codec->needsNewSession());
  codec->append(videoFrame(ticks(30)));
  ASSERT_EQ(made.size(), 1u);

  // A failed submission keeps the last time, so a frame at the same time still goes.
  session().failConvert = true;
  codec->append(videoFrame(ticks(40)));
  EXPECT_EQ(linesAt(tracepost::TPLoggerLevel::warn), 3u);
  EXPECT_NE(appender->lines.back().second.find("failedToConvert"), std::string::npos);
  session().failConvert = false;
  codec->append(videoFrame(ticks(40)));
  EXPECT_EQ(session().converted, (std::vector<CMTime>{ticks(30), ticks(40)}));

  // A failed re-creation keeps the session in place.
  codec->applicationWillEnterForeground({});
  failuresLeft = 1;
  codec->append(videoFrame(ticks(50)));
  EXPECT_FALSE(session().invalidated);
  EXPECT_EQ(codec->session(), made.back().session);
}

TEST_F(VideoCodecTests, ForegroundAndEndedInterruptionsFromAnyThreadRemakeTheSession) {
  auto& center = platform::NotificationCenter::defaultCenter();
  const auto postFromAnotherThread = [&](std::string_view name, platform::NotificationUserInfo info) {
    std::thread([&] { center.post(std::string(name), nullptr, std::move(info)); }).join();
  };
  codec->startRunning();
  encode({10});

  postFromAnotherThread(platform::UIApplicationWillEnterForegroundNotification, {});
  encode({20});
  EXPECT_EQ(made.size(), 2u);

  const std::string typeKey(platform::AVAudioSessionInterruptionTypeKey);
  for (const platform::NotificationUserInfo& ignored : std::vector<platform::NotificationUserInfo>{
           {}, {{typeKey, std::uint64_t{1}}}, {{typeKey, std::string("0")}}, {{typeKey, std::int64_t{-1}}}}) {
    postFromAnotherThread(platform::AVAudioSessionInterruptionNotification, ignored);
  }
  encode({30});
  EXPECT_EQ(made.size(), 2u);

  postFromAnotherThread(platform::AVAudioSessionInterruptionNotification, {{typeKey, std::uint64_t{0}}});
  encode({40});
  EXPECT_EQ(made.size(), 3u);

  // Stopped and gone, the codec no longer observes.
  codec->stopRunning();
  codec.reset();
  postFromAnotherThread(platform::UIApplicationWillEnterForegroundNotification, {});
}

TEST_F(VideoCodecTests, StopEndsTheSessionAndTheOutputUntilANewContinuation) {
  codec->startRunning();
  encode({10, 20});
  codec->stopRunning();
  EXPECT_TRUE(session().invalidated);
  EXPECT_EQ(codec->session(), nullptr);
  EXPECT_TRUE(codec->needsNewSession());
  EXPECT_EQ(drainOutput(), (std::vector<CMTime>{ticks(10), ticks(20)}));

  codec->append(videoFrame(ticks(30)));
  EXPECT_EQ(made.size(), 1u);

  // Times start over; output goes nowhere until the owner installs a new continuation.
  codec->startRunning();
  encode({10});
  EXPECT_EQ(made.size(), 2u);
  auto [stream, continuation] = SampleStream::makeStream();
  output.emplace(std::move(stream));
  codec->setContinuation(continuation);
  encode({20});
  codec->stopRunning();
  EXPECT_EQ(drainOutput(), (std::vector<CMTime>{ticks(20)}));
}

// A session whose frames come out of its own thread only once the test opens
// the gate, as those of an encoder stuck on a frame would: one is stuck in
// it, two more wait, then it is full.
class GatedSession : public VTSessionConvertible {
 public:
  explicit GatedSession(std::shared_future<void> gate) : gate_(std::move(gate)) {}
  platform::OSStatus applyOption(const VTSessionOption&) override { return 0; }
  void convert(const CMSampleBuffer& sampleBuffer, const VideoCodec::Continuation& continuation) override {
    ++taken;
    worker_.post([gate = gate_, sample = std::make_shared<CMSampleBuffer>(sampleBuffer), continuation] {
      gate.wait();
      continuation.yield(*sample);
    });
  }
  platform::Async<void> room() override { return worker_.room(); }
  void completeFramesThenInvalidate(std::function<void()> completed) override { worker_.stopAfter(std::move(completed)); }
  void invalidate() override { worker_.stop(); }

  std::atomic<int> taken = 0;

 protected:
  platform::OSStatus setProperties(const platform::VTPropertyDictionary&) override { return 0; }

 private:
  std::shared_future<void> gate_;
  platform::VTSessionWorker worker_{"gated", 2};
};

TEST(VideoCodecFeeding, AFullSessionSuspendsTheFeederNotItsStrandAndStopStillSendsWhatTheSessionHolds) {
  std::promise<void> opened;
  const auto gate = opened.get_future().share();
  std::shared_ptr<GatedSession> session;
  const auto codec = VideoCodec::make([&](const VideoCodecSettings&, const auto&, bool) {
    session = std::make_shared<GatedSession>(gate);
    return std::shared_ptr<VTSessionConvertible>(session);
  });
  auto [output, continuation] = SampleStream::makeStream();
  codec->setContinuation(continuation);
  const platform::Executor strand = asio::make_strand(platform::globalExecutor());
  // Runs `body` on the strand; the future is ready once it has.
  const auto onStrand = [&strand](std::function<void()> body) {
    return std::async(std::launch::async, [&strand, body = std::move(body)] {
      platform::blockOn([&body]() -> platform::Async<void> {
        body();
        co_return;
      }, strand);
    });
  };
  onStrand([&] { codec->startRunning(); }).get();

  platform::testing::WatchedCount fed;
  std::promise<void> feederDone;
  platform::spawn(strand, [&]() -> platform::Async<void> {
    for (std::int64_t time = 10; time <= 50; time += 10) {
      auto encoding = codec->encode(videoFrame(ticks(time)));
      co_await std::move(encoding);
      fed.add();
    }
    feederDone.set_value();
  });
  ASSERT_TRUE(fed.reaches(3));
  // The feeder waits for room with the strand free for everyone else.
  auto strandRan = onStrand([] {});
  const bool strandFree = strandRan.wait_for(10s) == std::future_status::ready;
  EXPECT_EQ(session->taken, 3);
  EXPECT_EQ(fed.load(), 3) << "a frame went past the full session";

  // Stopping lets the session finish what it holds; the output ends after it.
  const auto first = session;
  auto stopping = onStrand([&] { codec->stopRunning(); });
  const bool stopped = stopping.wait_for(10s) == std::future_status::ready;
  // A restart before the old session is done sends nothing into the old output.
  auto restarting = onStrand([&] {
    codec->startRunning();
    codec->append(videoFrame(ticks(100)));
  });
  const bool restarted = restarting.wait_for(10s) == std::future_status::ready;
  std::promise<std::vector<CMTime>> received;
  platform::spawn(platform::globalExecutor(), [&, output = output]() -> platform::Async<void> {
    std::vector<CMTime> times;
    while (auto sample = co_await output.next()) times.push_back(sample->presentationTimeStamp());
    received.set_value(std::move(times));
  });
  auto out = received.get_future();
  EXPECT_EQ(out.wait_for(50ms), std::future_status::timeout) << "the output ended before the session's frames";
  opened.set_value();
  ASSERT_TRUE(strandFree) << "the strand waited for the session";
  ASSERT_TRUE(stopped);
  ASSERT_TRUE(restarted);
  ASSERT_EQ(out.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(out.get(), (std::vector<CMTime>{ticks(10), ticks(20), ticks(30)}));
  // The frames that waited for room found the old session ended.
  ASSERT_EQ(feederDone.get_future().wait_for(10s), std::future_status::ready);
  EXPECT_EQ(first->taken, 3);
  onStrand([&] { codec->stopRunning(); }).get();
}

// A moving diagonal gradient, so every frame differs from the last.
CMSampleBuffer patternFrame720p(int index, CMTime time) {
  const auto image = platform::CVPixelBuffer::make(1280, 720, platform::kCVPixelFormatType_32BGRA);
  image.value->lockBaseAddress(0);
  for (std::size_t row = 0; row < 720; ++row) {
    auto* pixel = image.value->baseAddress() + row * image.value->bytesPerRow();
    for (std::size_t column = 0; column < 1280; ++column, pixel += 4) {
      const auto shade = static_cast<std::uint8_t>(row + column + 8 * index);
      pixel[0] = shade;
      pixel[1] = static_cast<std::uint8_t>(255 - shade);
      pixel[2] = static_cast<std::uint8_t>(column / 5);
      pixel[3] = 255;
    }
  }
  image.value->unlockBaseAddress(0);
  const auto format = platform::CMFormatDescription::makeForImageBuffer(*image.value);
  return *CMSampleBuffer::makeReadyWithImageBuffer(image.value, format.value, {ticks(20), time, CMTime::invalid}).value;
}

// The unit types of 4-byte length-prefixed data; empty when a length runs past it.
std::vector<int> nalUnitTypes(std::span<const std::uint8_t> data) {
  std::vector<int> types;
  while (data.size() >= 5) {
    const std::size_t length =
        std::size_t{data[0]} << 24 | std::size_t{data[1]} << 16 | std::size_t{data[2]} << 8 | data[3];
    if (length == 0 || length > data.size() - 4) return {};
    types.push_back(data[4] & 0x1f);
    data = data.subspan(4 + length);
  }
  return data.empty() ? types : std::vector<int>{};
}

TEST(VideoCodecRealSessionTests, EncodesBroadcastFramesToH264SamplesInOrder) {
  const auto codec = VideoCodec::make();
  codec->setSettings(
      VideoCodecSettings({1280, 720}, 2'200'000, std::string(platform::kVTProfileLevel_H264_Baseline_3_1)));
  auto [stream, continuation] = SampleStream::makeStream();
  codec->setContinuation(continuation);
  codec->startRunning();

  constexpr int kFrames = 8;
  std::vector<CMTime> times;
  for (int index = 1; index <= kFrames; ++index) {
    times.push_back(ticks(20 * index));
    codec->append(patternFrame720p(index, times.back()));
  }
  // Ends the read should the encoder fall silent.
  const auto watchdog = platform::spawn(platform::globalExecutor(), [continuation = continuation]() -> platform::Async<void> {
    co_await platform::sleepFor(std::chrono::seconds(20));
    continuation.finish();
  });
  const auto samples = platform::blockOn([stream = stream]() -> platform::Async<std::vector<CMSampleBuffer>> {
    std::vector<CMSampleBuffer> samples;
    while (samples.size() < kFrames) {
      auto sample = co_await stream.next();
      if (!sample) break;
      samples.push_back(std::move(*sample));
    }
    co_return samples;
  });
  watchdog.cancel();
  codec->stopRunning();

  ASSERT_EQ(samples.size(), static_cast<std::size_t>(kFrames));
  for (int index = 0; index < kFrames; ++index) {
    const auto& sample = samples[index];
    EXPECT_EQ(sample.presentationTimeStamp(), times[index]);
    ASSERT_TRUE(sample.formatDescription());
    EXPECT_EQ(sample.formatDescription()->mediaSubType(), platform::kCMVideoCodecType_H264);
    EXPECT_EQ(sample.formatDescription()->dimensions(), (platform::CMVideoDimensions{1280, 720}));
    ASSERT_TRUE(sample.dataBuffer());
    const auto types = nalUnitTypes(sample.dataBuffer()->data());
    ASSERT_FALSE(types.empty()) << "frame " << index;
    // Marked not-sync exactly when the frame holds no IDR slice.
    EXPECT_EQ(std::count(types.begin(), types.end(), 5) > 0, !isNotSync(sample)) << "frame " << index;
  }
  EXPECT_FALSE(isNotSync(samples[0]));
  EXPECT_GE(samples[0].formatDescription()->parameterSets().size(), 2u);
}

TEST(VideoCodecRealSessionTests, StopSendsEveryFrameTheEncoderStillHoldsBeforeTheOutputEnds) {
  const auto codec = VideoCodec::make();
  codec->setSettings(
      VideoCodecSettings({1280, 720}, 2'200'000, std::string(platform::kVTProfileLevel_H264_Baseline_3_1)));
  for (const int frames : {1, 12}) {
    SCOPED_TRACE(frames);
    // Each round takes a fresh output, as a restart does.
    auto [stream, continuation] = SampleStream::makeStream();
    codec->setContinuation(continuation);
    codec->startRunning();
    std::vector<CMTime> times;
    for (int index = 1; index <= frames; ++index) {
      times.push_back(ticks(20 * index));
      codec->append(patternFrame720p(index, times.back()));
    }
    codec->stopRunning();
    const auto sent = platform::blockOn([stream = stream]() -> platform::Async<std::vector<CMTime>> {
      std::vector<CMTime> sent;
      while (auto sample = co_await stream.next()) sent.push_back(sample->presentationTimeStamp());
      co_return sent;
    });
    EXPECT_EQ(sent, times);
  }
}

}  // namespace
}  // namespace fluvio
