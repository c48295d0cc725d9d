#include "Fluvio/Sources/Stream/OutgoingStream.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <vector>

#include "Fluvio/Tests/Stream/StreamTestMedia.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Task.hpp"

namespace fluvio {
namespace {

using platform::CMSampleBuffer;
using platform::CMTime;
using testing::rawVideoFrame;
using VideoStream = platform::AsyncStream<CMSampleBuffer>;

using namespace std::chrono_literals;

CMTime ticks(std::int64_t value) { return CMTime::make(value, 600); }

void appendFrames(OutgoingStream& outgoing, std::initializer_list<std::int64_t> times) {
  for (const auto time : times) outgoing.append(rawVideoFrame(static_cast<int>(time), ticks(time)));
}

// The presentation times a finished sequence held.
std::vector<CMTime> drain(const VideoStream& stream) {
  std::vector<CMTime> times;
  while (auto sample = platform::blockOn(stream.next())) times.push_back(sample->presentationTimeStamp());
  return times;
}

// A consumer that is already waiting on `stream` when the call returns.
template <class T>
std::future<std::optional<T>> awaitNext(platform::AsyncStream<T> stream) {
  auto promise = std::make_shared<std::promise<std::optional<T>>>();
  auto future = promise->get_future();
  platform::spawn(platform::globalExecutor(), [stream, promise]() -> platform::Async<void> {
    promise->set_value(co_await stream.next());
  });
  EXPECT_EQ(future.wait_for(50ms), std::future_status::timeout) << "the consumer should still be waiting";
  return future;
}

template <class T>
void expectEnded(std::future<std::optional<T>>& consumer) {
  ASSERT_EQ(consumer.wait_for(10s), std::future_status::ready) << "a consumer is left waiting";
  EXPECT_FALSE(consumer.get().has_value());
}

TEST(OutgoingStreamTests, RoutesRawMediaByTheMediaTypeOfTheirFormat) {
  const auto outgoing = OutgoingStream::make();

  // Nobody reads the video input yet: the frame is dropped, its format kept.
  const auto frame = rawVideoFrame(1, ticks(10));
  outgoing->append(frame);
  EXPECT_EQ(outgoing->videoInputFormat(), frame.formatDescription());
  EXPECT_EQ(outgoing->audioInputFormat(), nullptr);

  const auto stereo = platform::AVAudioFormat::makeStandard(48'000, 2);
  const auto audioSample = platform::CMSampleBuffer::makeAudio(stereo->formatDescription(), 1024, ticks(10));
  outgoing->append(*audioSample.value);
  EXPECT_EQ(outgoing->audioInputFormat(), stereo->formatDescription());

  const auto mono = platform::AVAudioFormat::makeStandard(44'100, 1);
  outgoing->append(testing::toneBuffer(mono, 1024, 0), testing::audioTime(0, 0, 44'100));
  EXPECT_EQ(outgoing->audioInputFormat(), mono->formatDescription());

  // No format, or no buffer, leaves everything as it was.
  const auto bare = CMSampleBuffer::make(nullptr, true, nullptr, 0, {}, {});
  outgoing->append(*bare.value);
  outgoing->append(nullptr, testing::audioTime(0, 0, 44'100));
  outgoing->append(testing::toneBuffer(stereo, 1024, 0), nullptr);
  EXPECT_EQ(outgoing->audioInputFormat(), mono->formatDescription());
  EXPECT_EQ(outgoing->videoInputFormat(), frame.formatDescription());

  const auto input = outgoing->videoInputStream();
  outgoing->append(*bare.value);
  appendFrames(*outgoing, {20});
  outgoing->videoInputStream();
  EXPECT_EQ(drain(input), (std::vector<CMTime>{ticks(20)}));
}

TEST(OutgoingStreamTests, BoundedVideoInputKeepsOnlyTheNewestWaitingFrames) {
  struct Case {
    int bufferCounts;
    std::vector<CMTime> kept;
  };
  const std::vector<CMTime> all{ticks(1), ticks(2), ticks(3), ticks(4), ticks(5)};
  for (const auto& [bufferCounts, kept] : std::vector<Case>{
           {-1, all}, {0, all}, {1, {ticks(5)}}, {3, {ticks(3), ticks(4), ticks(5)}}, {8, all}}) {
    const auto outgoing = OutgoingStream::make();
    outgoing->setVideoInputBufferCounts(bufferCounts);
    const auto input = outgoing->videoInputStream();
    // Nobody consumes while the producer appends; none of it may wait.
    appendFrames(*outgoing, {1, 2, 3, 4, 5});
    outgoing->videoInputStream();
    EXPECT_EQ(drain(input), kept) << "bufferCounts " << bufferCounts;
  }
}

TEST(OutgoingStreamTests, ANewVideoInputReadEndsTheOneBeforeAndTakesTheBoundOfItsTime) {
  const auto outgoing = OutgoingStream::make();
  const auto first = outgoing->videoInputStream();
  appendFrames(*outgoing, {1});

  // The bound changes nothing for the sequence already handed out.
  outgoing->setVideoInputBufferCounts(1);
  appendFrames(*outgoing, {2, 3});
  const auto second = outgoing->videoInputStream();
  EXPECT_EQ(drain(first), (std::vector<CMTime>{ticks(1), ticks(2), ticks(3)}));

  appendFrames(*outgoing, {4, 5});
  outgoing->videoInputStream();
  EXPECT_EQ(drain(second), (std::vector<CMTime>{ticks(5)}));
}

TEST(OutgoingStreamTests, ANewOutputReadEndsTheConsumerOfTheOneBefore) {
  const auto outgoing = OutgoingStream::make();
  outgoing->startRunning();

  auto video = awaitNext(outgoing->videoOutputStream());
  auto audio = awaitNext(outgoing->audioOutputStream());
  const auto videoOutput = outgoing->videoOutputStream();
  outgoing->audioOutputStream();
  expectEnded(video);
  expectEnded(audio);

  // Encoded frames go to the sequence read last.
  auto settings = outgoing->videoSettings();
  settings.videoSize = {64, 48};
  outgoing->setVideoSettings(settings);
  const auto frame = rawVideoFrame(1, ticks(10));
  outgoing->appendVideo(frame);
  const auto encoded = platform::blockOn(videoOutput.next());
  ASSERT_TRUE(encoded.has_value());
  EXPECT_EQ(encoded->presentationTimeStamp(), ticks(10));
  EXPECT_EQ(encoded->formatDescription()->mediaSubType(), platform::kCMVideoCodecType_H264);
  outgoing->stopRunning();
}

TEST(OutgoingStreamTests, StopEndsEveryWaitingConsumerAndARestartNeedsFreshReads) {
  const auto outgoing = OutgoingStream::make();
  outgoing->stopRunning();
  EXPECT_FALSE(outgoing->isRunning());

  for (int round = 0; round < 2; ++round) {
    outgoing->startRunning();
    outgoing->startRunning();
    EXPECT_TRUE(outgoing->isRunning());
    auto audio = awaitNext(outgoing->audioOutputStream());
    auto video = awaitNext(outgoing->videoOutputStream());
    auto input = awaitNext(outgoing->videoInputStream());

    outgoing->stopRunning();
    EXPECT_FALSE(outgoing->isRunning());
    expectEnded(audio);
    expectEnded(video);
    expectEnded(input);
    outgoing->stopRunning();
  }

  // Stopped, the stream drops raw frames until the input is read again.
  appendFrames(*outgoing, {1});
  const auto input = outgoing->videoInputStream();
  appendFrames(*outgoing, {2});
  outgoing->videoInputStream();
  EXPECT_EQ(drain(input), (std::vector<CMTime>{ticks(2)}));
}

// Every sample a finished sequence held.
template <class T>
std::vector<T> drainAll(const platform::AsyncStream<T>& stream) {
  std::vector<T> elements;
  while (auto element = platform::blockOn(stream.next())) elements.push_back(std::move(*element));
  return elements;
}

TEST(OutgoingStreamTests, RawVideoDropsTheOldestBeyondItsBoundAndCountsThem) {
  constexpr int kBound = OutgoingStream::defaultVideoInputBufferCounts;
  const auto outgoing = OutgoingStream::make();
  for (const int extra : {0, 5}) {
    const auto before = outgoing->drops().videoInput;
    const auto input = outgoing->videoInputStream();
    std::vector<CMTime> appended;
    for (int index = 0; index < kBound + extra; ++index) {
      appended.push_back(ticks(index + 1));
      outgoing->append(rawVideoFrame(index, appended.back()));
    }
    EXPECT_EQ(outgoing->drops().videoInput, before + extra);
    outgoing->finishVideoInput();
    EXPECT_EQ(drain(input), std::vector<CMTime>(appended.begin() + extra, appended.end())) << "extra " << extra;
  }
  // Ended sequences keep their count; a tighter bound counts on from it.
  outgoing->setVideoInputBufferCounts(2);
  const auto tighter = outgoing->videoInputStream();
  appendFrames(*outgoing, {1, 2, 3});
  EXPECT_EQ(outgoing->drops(), (OutgoingStream::Drops{6, 0, 0}));
}

TEST(OutgoingStreamTests, EncodedMediaWaitInOrderUpToTheirBoundAndTheRestIsCounted) {
  const auto outgoing = OutgoingStream::make();
  auto settings = outgoing->videoSettings();
  settings.videoSize = {64, 48};
  outgoing->setVideoSettings(settings);
  outgoing->startRunning();
  // Nobody reads the outputs while the encoders fill them.
  const auto video = outgoing->videoOutputStream();
  const auto audio = outgoing->audioOutputStream();
  constexpr int kExtraFrames = 4;
  const int frames = static_cast<int>(OutgoingStream::videoOutputBufferCounts) + kExtraFrames;
  for (int index = 0; index < frames; ++index) outgoing->appendVideo(rawVideoFrame(index, ticks(index + 1)));
  const auto pcm = platform::AVAudioFormat::makeStandard(48'000, 2);
  const auto buffers = static_cast<std::int64_t>(OutgoingStream::audioOutputBufferCounts) + 20;
  for (std::int64_t index = 0; index < buffers; ++index) {
    outgoing->append(testing::toneBuffer(pcm, 1024, index * 1024), testing::audioTime(0, index * 1024, 48'000));
  }
  outgoing->stopRunning();

  // Every frame the encoder took comes out once it has drained: the first
  // ones are kept, the rest counted.
  const auto encoded = drainAll(video);
  ASSERT_EQ(encoded.size(), OutgoingStream::videoOutputBufferCounts);
  for (std::size_t index = 0; index < encoded.size(); ++index) {
    EXPECT_EQ(encoded[index].presentationTimeStamp(), ticks(static_cast<std::int64_t>(index) + 1)) << index;
  }
  const auto packets = drainAll(audio);
  ASSERT_EQ(packets.size(), OutgoingStream::audioOutputBufferCounts);
  for (std::size_t index = 1; index < packets.size(); ++index) {
    EXPECT_EQ(packets[index].second->sampleTime() - packets[index - 1].second->sampleTime(), 1024) << index;
  }
  const auto drops = outgoing->drops();
  EXPECT_EQ(drops.videoOutput, static_cast<std::uint64_t>(kExtraFrames));
  // The encoder's delay and the flush at the end make a packet or two more or less.
  EXPECT_GE(drops.audioOutput, 18u);
  EXPECT_LE(drops.audioOutput, 22u);
  EXPECT_EQ(drops.videoInput, 0u);
}

}  // namespace
}  // namespace fluvio
