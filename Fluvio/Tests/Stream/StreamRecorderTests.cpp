#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <cmath>
#include <future>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <thread>

#include "Fluvio/Sources/Stream/StreamRecorder.hpp"
#include "Fluvio/Tests/Stream/IncomingStreamTestSupport.hpp"
#include "Platform/AVFAudio/AVAudioCompressedBuffer.hpp"
#include "Platform/AVFoundation/Tests/support/WriterMedia.hpp"
#include "Fluvio/Sources/Extension/CMSampleBufferExtension.hpp"
#include "Platform/Concurrency/BlockOn.hpp"

namespace fluvio {
namespace {

using platform::Async;
using platform::blockOn;
using platform::CMSampleBuffer;
using platform::URL;
using writertest::pcmBuffer;

template <class T>
T await(const std::shared_ptr<StreamRecorder>& recorder, Async<T> (StreamRecorder::*member)()) {
  return *blockOn([recorder, member]() -> Async<std::optional<T>> { co_return co_await ((*recorder).*member)(); });
}

void start(const std::shared_ptr<StreamRecorder>& recorder, std::optional<URL> url,
           StreamRecorder::Settings settings = StreamRecorder::defaultSettings()) {
  blockOn([recorder, url, settings]() -> Async<void> { co_await recorder->startRecording(url, settings); });
}

URL stop(const std::shared_ptr<StreamRecorder>& recorder) { return await(recorder, &StreamRecorder::stopRecording); }

StreamRecorder::Error::Case stopFailure(const std::shared_ptr<StreamRecorder>& recorder,
                                        std::optional<platform::AVAssetWriterError::Case>* writerCase = nullptr) {
  try {
    stop(recorder);
  } catch (const StreamRecorder::Error& error) {
    if (writerCase && error.writerError()) *writerCase = error.writerError()->errorCase();
    return error.errorCase();
  }
  ADD_FAILURE() << "stopRecording did not throw";
  return StreamRecorder::Error::Case::invalidState;
}

std::vector<StreamRecorder::Error> drain(const platform::AsyncStream<StreamRecorder::Error>& errors) {
  return blockOn([errors]() -> Async<std::vector<StreamRecorder::Error>> {
    std::vector<StreamRecorder::Error> received;
    while (auto error = co_await errors.next()) received.push_back(*error);
    co_return received;
  });
}

// Waits until the recorder has run everything posted to it so far.
void settle(const std::shared_ptr<StreamRecorder>& recorder) { await(recorder, &StreamRecorder::isRecording); }

// Every test gets documents of its own.
class StreamRecorderTest : public ::testing::Test {
 protected:
  StreamRecorderTest() {
    char pattern[] = "/tmp/streamrecorder-XXXXXX";
    root_ = mkdtemp(pattern);
    documents_ = root_ / "Documents";
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", documents_.c_str(), 1);
  }
  ~StreamRecorderTest() override { std::filesystem::remove_all(root_); }

  URL fileURL(const std::string& name) const { return URL::fileURL(root_ / name); }

  std::filesystem::path root_;
  std::filesystem::path documents_;
  std::shared_ptr<StreamRecorder> recorder_ = StreamRecorder::make();
  // Only named as the media's source: the recorder never calls it.
  const std::shared_ptr<testing::RecordingStream> stream_ = platform::Actor::make<testing::RecordingStream>();
};

TEST_F(StreamRecorderTest, KeepsAFragmentIntervalOfAtLeastTenSeconds) {
  const auto set = [this](std::optional<double> interval) {
    blockOn([this, interval]() -> Async<void> { co_await recorder_->setMovieFragmentInterval(interval); });
    return await(recorder_, &StreamRecorder::movieFragmentInterval);
  };
  EXPECT_EQ(set(3), 10);
  EXPECT_EQ(set(12.5), 12.5);
  EXPECT_EQ(set(std::nan("")), 10);
  EXPECT_EQ(set(std::nullopt), std::nullopt);
}

TEST_F(StreamRecorderTest, SelectsTracksPerMediaType) {
  EXPECT_EQ(await(recorder_, &StreamRecorder::videoTrackId), 255);
  EXPECT_EQ(await(recorder_, &StreamRecorder::audioTrackId), 255);
  const auto select = [this](std::optional<std::uint8_t> id, platform::CMMediaType type) {
    blockOn([this, id, type]() -> Async<void> { co_await recorder_->selectTrack(id, type); });
  };
  select(3, platform::kCMMediaType_Video);
  select(std::nullopt, platform::kCMMediaType_Audio);
  select(7, platform::fourCC("text"));
  EXPECT_EQ(await(recorder_, &StreamRecorder::videoTrackId), 3);
  EXPECT_EQ(await(recorder_, &StreamRecorder::audioTrackId), std::nullopt);
}

TEST_F(StreamRecorderTest, NamesFilesAfterAFreshUUIDWhereNoNameIsGiven) {
  const std::regex uuidName("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\\.mp4");
  const auto outputOf = [this](std::optional<URL> url) {
    start(recorder_, url);
    const auto output = await(recorder_, &StreamRecorder::outputURL);
    EXPECT_EQ(stopFailure(recorder_), StreamRecorder::Error::Case::failedToFinishWriting);
    return std::filesystem::path(output.value().path());
  };

  const auto unnamed = outputOf(std::nullopt);
  EXPECT_EQ(unnamed.parent_path(), documents_);
  EXPECT_TRUE(std::regex_match(unnamed.filename().string(), uuidName)) << unnamed;
  EXPECT_TRUE(std::filesystem::is_directory(documents_)) << "made when missing";
  EXPECT_EQ(await(recorder_, &StreamRecorder::moviesDirectory), URL::fileURL(documents_));

  std::filesystem::create_directories(root_ / "takes");
  const auto inFolder = outputOf(fileURL("takes"));
  EXPECT_EQ(inFolder.parent_path(), root_ / "takes");
  EXPECT_TRUE(std::regex_match(inFolder.filename().string(), uuidName));
  EXPECT_NE(inFolder.filename(), unnamed.filename());

  EXPECT_EQ(outputOf(fileURL("named.mov")), root_ / "named.mov");

  std::filesystem::create_directories(documents_ / "clips");
  EXPECT_EQ(outputOf(URL::make("clips/take.mov")), documents_ / "clips/take.mov");
  const auto relativeFolder = outputOf(URL::make("clips"));
  EXPECT_EQ(relativeFolder.parent_path(), documents_ / "clips");
  EXPECT_TRUE(std::regex_match(relativeFolder.filename().string(), uuidName));
}

TEST_F(StreamRecorderTest, RefusesTargetsItCannotWrite) {
  const auto startFailure = [this](const URL& url) {
    try {
      start(recorder_, url);
    } catch (const StreamRecorder::Error& error) {
      return error;
    }
    ADD_FAILURE() << "started for " << url.absoluteString();
    return StreamRecorder::Error::invalidState();
  };
  const auto upperCase = startFailure(fileURL("take.MP4"));
  EXPECT_EQ(upperCase.errorCase(), StreamRecorder::Error::Case::notSupportedFileType);
  EXPECT_EQ(upperCase.pathExtension(), "MP4");
  EXPECT_EQ(startFailure(fileURL("take.mkv")).pathExtension(), "mkv");

  std::ofstream(root_ / "taken.mp4") << "x";
  const auto taken = startFailure(fileURL("taken.mp4"));
  EXPECT_EQ(taken.errorCase(), StreamRecorder::Error::Case::fileAlreadyExists);
  EXPECT_EQ(taken.outputURL(), fileURL("taken.mp4"));
  EXPECT_FALSE(await(recorder_, &StreamRecorder::isRecording)) << "a failed start changes nothing";

  // The writer's own error comes through unchanged.
  EXPECT_THROW(start(recorder_, fileURL("missing/take.mp4")), platform::AVAssetWriterError);
}

TEST_F(StreamRecorderTest, StartsAndStopsOnlyInTheRightState) {
  EXPECT_EQ(stopFailure(recorder_), StreamRecorder::Error::Case::invalidState);
  start(recorder_, fileURL("first.mp4"));
  try {
    start(recorder_, fileURL("second.mp4"));
    ADD_FAILURE() << "a second start went through";
  } catch (const StreamRecorder::Error& error) {
    EXPECT_EQ(error.errorCase(), StreamRecorder::Error::Case::invalidState);
  }
  EXPECT_EQ(await(recorder_, &StreamRecorder::outputURL), fileURL("first.mp4"));
  EXPECT_TRUE(await(recorder_, &StreamRecorder::isRecording));
}

TEST_F(StreamRecorderTest, WritesNothingUntilEveryMediaTypeOfTheSettingsHasArrived) {
  start(recorder_, fileURL("video-only.mp4"));
  const auto errors = await(recorder_, &StreamRecorder::error);
  for (int frame = 0; frame < 5; ++frame) recorder_->stream(*stream_, writertest::rawVideoSample(160, 120, frame));
  // Compressed audio is not taken at all, so the audio input never comes.
  const auto aacFormat = writertest::aacSamples(48000, 2, 1).at(0).formatDescription();
  recorder_->stream(*stream_,
                    platform::AVAudioCompressedBuffer::make(platform::AVAudioFormat::make(aacFormat), 1, 1536),
                    platform::AVAudioTime::make(0));
  settle(recorder_);
  std::optional<platform::AVAssetWriterError::Case> writerCase;
  EXPECT_EQ(stopFailure(recorder_, &writerCase), StreamRecorder::Error::Case::failedToFinishWriting);
  EXPECT_EQ(writerCase, std::nullopt) << "the writer never started";
  EXPECT_FALSE(await(recorder_, &StreamRecorder::isRecording));
  EXPECT_FALSE(await(recorder_, &StreamRecorder::outputURL));
  EXPECT_TRUE(drain(errors).empty()) << "the error sequence ended with the recording";
  EXPECT_FALSE(std::filesystem::exists(root_ / "video-only.mp4"));
}

TEST_F(StreamRecorderTest, RecordsOnlyTheMediaTypesOfItsSettings) {
  StreamRecorder::Settings videoOnly{*StreamRecorder::defaultSettings().find(platform::AVMediaTypeVideo)};
  start(recorder_, fileURL("late.mp4"), videoOnly);
  // Audio first: it must neither start the file nor take the video's place.
  const auto [audio, when] = pcmBuffer(0);
  recorder_->stream(*stream_, audio, when);
  for (const auto& sample : writertest::encodedVideoSamples(platform::kCMVideoCodecType_H264, 160, 120, 60, 30)) {
    recorder_->stream(*stream_, sample);
  }
  const URL output = stop(recorder_);
  EXPECT_EQ(output, fileURL("late.mp4"));

  const auto streams = writertest::readMovie(output.path());
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].codec, AV_CODEC_ID_H264);
  EXPECT_EQ(streams[0].packets, 30);
  // The session starts at the first frame's own time, two seconds in.
  EXPECT_NEAR(streams[0].startTime, 0, 0.001);
  EXPECT_NEAR(streams[0].endTime, 1.0, 0.001);
}

TEST_F(StreamRecorderTest, ReportsRefusedBuffersOnTheErrorSequenceAndGoesOn) {
  start(recorder_, fileURL("refused.mp4"));
  const auto replaced = await(recorder_, &StreamRecorder::error);
  const auto errors = await(recorder_, &StreamRecorder::error);
  EXPECT_TRUE(drain(replaced).empty()) << "a new read finishes the sequence handed out before";

  // HEVC cannot go into the H.264 track the default settings ask for.
  const int frames = static_cast<int>(StreamRecorder::errorLimit) + 6;
  const auto hevc = writertest::encodedVideoSamples(platform::kCMVideoCodecType_HEVC, 160, 120, 0, frames);
  for (std::size_t frame = 0; frame < hevc.size(); ++frame) {
    recorder_->stream(*stream_, hevc[frame]);
    const auto [audio, when] = pcmBuffer(static_cast<std::int64_t>(frame) * 1600);
    recorder_->stream(*stream_, audio, when);
    settle(recorder_);
  }
  stop(recorder_);
  const auto received = drain(errors);
  // The first frame only made the input; of the rest, the first failures are kept.
  ASSERT_EQ(received.size(), StreamRecorder::errorLimit) << "a listener that reads late holds a bounded backlog";
  for (const auto& error : received) {
    EXPECT_EQ(error.errorCase(), StreamRecorder::Error::Case::failedToAppend);
    ASSERT_TRUE(error.writerError());
    EXPECT_EQ(error.writerError()->errorCase(), platform::AVAssetWriterError::Case::mediaNotSupported);
  }
  const auto streams = writertest::readMovie(fileURL("refused.mp4").path());
  ASSERT_EQ(streams.size(), 1u) << "the audio was recorded";
  EXPECT_EQ(streams[0].codec, AV_CODEC_ID_AAC);
}

TEST_F(StreamRecorderTest, ReportsAFinishThatFailsAsAFailure) {
  StreamRecorder::Settings videoOnly{*StreamRecorder::defaultSettings().find(platform::AVMediaTypeVideo)};
  start(recorder_, fileURL("nothing.mp4"), videoOnly);
  for (const auto& sample : writertest::encodedVideoSamples(platform::kCMVideoCodecType_HEVC, 160, 120, 0, 5)) {
    recorder_->stream(*stream_, sample);
  }
  std::optional<platform::AVAssetWriterError::Case> writerCase;
  EXPECT_EQ(stopFailure(recorder_, &writerCase), StreamRecorder::Error::Case::failedToFinishWriting);
  EXPECT_EQ(writerCase, platform::AVAssetWriterError::Case::noMediaData);
  EXPECT_FALSE(await(recorder_, &StreamRecorder::isRecording));
  start(recorder_, fileURL("again.mp4"));
  EXPECT_TRUE(await(recorder_, &StreamRecorder::isRecording)) << "idle again, ready for the next recording";
}

TEST_F(StreamRecorderTest, KeepsTheDeliveryOrderAndAppendsNothingOnceStopping) {
  start(recorder_, fileURL("ordered.mp4"));
  const auto errors = await(recorder_, &StreamRecorder::error);
  std::atomic<bool> stopped = false;
  std::atomic<int> delivered = 0;
  // A producer that keeps delivering while the recording stops.
  std::thread producer([&] {
    for (int frame = 0; !stopped || frame < 60; ++frame) {
      recorder_->stream(*stream_, writertest::rawVideoSample(160, 120, frame));
      const auto [audio, when] = pcmBuffer(std::int64_t{frame} * 1600);
      recorder_->stream(*stream_, audio, when);
      ++delivered;
      // Held back as a real source is, so the writer never falls behind.
      settle(recorder_);
    }
  });
  while (delivered < 60) std::this_thread::yield();
  const URL output = stop(recorder_);
  stopped = true;
  producer.join();

  EXPECT_TRUE(drain(errors).empty()) << "no buffer was refused: none out of order, none after the inputs finished";
  const auto streams = writertest::readMovie(output.path());
  const auto* video = writertest::findStream(streams, AVMEDIA_TYPE_VIDEO);
  ASSERT_TRUE(video && writertest::findStream(streams, AVMEDIA_TYPE_AUDIO));
  EXPECT_GE(video->decodedFrames, 59);
  EXPECT_EQ(video->decodeErrors, 0);
}

// A recorder on a thread of its own, which the test can hold: the recorder
// then falls behind however fast its writer is.
class StalledRecorder {
 public:
  StalledRecorder() : thread_([this] { context_.run(); }) {}
  ~StalledRecorder() {
    release();
    work_.reset();
    thread_.join();
  }

  void hold() {
    asio::post(context_, [released = released_] { released.wait(); });
  }
  void release() {
    if (!std::exchange(isReleased_, true)) release_.set_value();
  }

  const std::shared_ptr<StreamRecorder>& recorder() const { return recorder_; }

 private:
  asio::io_context context_;
  asio::executor_work_guard<asio::io_context::executor_type> work_ = asio::make_work_guard(context_);
  std::promise<void> release_;
  std::shared_future<void> released_ = release_.get_future().share();
  bool isReleased_ = false;
  std::shared_ptr<StreamRecorder> recorder_ = StreamRecorder::make(context_.get_executor());
  std::thread thread_;
};

TEST_F(StreamRecorderTest, AWriterThatFallsBehindLosesWholeBuffersCountedAndVideoResumesAtAKeyFrame) {
  StalledRecorder stalled;
  const auto& recorder = stalled.recorder();
  StreamRecorder::Settings videoOnly{*StreamRecorder::defaultSettings().find(platform::AVMediaTypeVideo)};
  start(recorder, fileURL("behind.mp4"), videoOnly);
  // Key frames at 0, 15, 30 and 45.
  const auto frames = writertest::encodedVideoSamples(platform::kCMVideoCodecType_H264, 160, 120, 0, 60, 15);
  ASSERT_EQ(frames.size(), 60u);
  ASSERT_FALSE(isNotSync(frames[30]));

  stalled.hold();
  for (std::size_t frame = 0; frame < StreamRecorder::pendingVideoLimit; ++frame) {
    recorder->stream(*stream_, frames[frame]);
  }
  for (std::size_t buffer = 0; buffer < StreamRecorder::pendingAudioLimit; ++buffer) {
    const auto [audio, when] = pcmBuffer(static_cast<std::int64_t>(buffer) * 960);
    recorder->stream(*stream_, audio, when);
  }
  EXPECT_EQ(recorder->drops(), StreamRecorder::Drops{}) << "up to the bounds everything waits";
  recorder->stream(*stream_, frames[30]);
  const auto [audio, when] = pcmBuffer(0);
  recorder->stream(*stream_, audio, when);
  EXPECT_EQ(recorder->drops(), (StreamRecorder::Drops{1, 1}));

  stalled.release();
  settle(recorder);
  // Room again, but 31 to 44 depend on the lost key frame.
  for (std::size_t frame = 31; frame < frames.size(); ++frame) recorder->stream(*stream_, frames[frame]);
  EXPECT_EQ(recorder->drops(), (StreamRecorder::Drops{15, 1}));

  const auto streams = writertest::readMovie(stop(recorder).path());
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].packets, 45);
  EXPECT_EQ(streams[0].decodedFrames, 45);
  EXPECT_EQ(streams[0].decodeErrors, 0);
}

}  // namespace
}  // namespace fluvio
