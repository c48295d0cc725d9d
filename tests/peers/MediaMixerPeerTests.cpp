// The synthetic camera and microphone through the media mixer into real
// encoders and into a movie file, as ffprobe reads it.

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <asio/post.hpp>
#include <nlohmann/json.hpp>

#include "Fluvio/Sources/Mixer/MediaMixer.hpp"
#include "Fluvio/Sources/Stream/OutgoingStream.hpp"
#include "Fluvio/Sources/Stream/StreamRecorder.hpp"
#include "Platform/AVFoundation/SyntheticCameraSource.hpp"
#include "Platform/AVFoundation/ToneMicrophoneSource.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Tests/Support/Eventually.hpp"
#include "Platform/Concurrency/Task.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnection.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStream.hpp"
#include "tests/peers/support/NginxRTMPServer.hpp"
#include "tests/peers/support/Process.hpp"

namespace fluvio {
namespace {

using platform::Async;
using platform::blockOn;

constexpr std::size_t kFrames = 60;

// Feeds the mixed media into an outgoing stream and counts what the
// encoders give back.
class EncodingOutput final : public MediaMixerOutput, public platform::Actor {
 public:
  explicit EncodingOutput(Key key) : Actor(key) {
    outgoing_->setVideoSettings(VideoCodecSettings({1280, 720}, 2'200'000, "H264_Baseline_3_1"));
    outgoing_->setAudioSettings(AudioCodecSettings(128'000, true, std::nullopt, 0, AudioCodecFormat::aac));
    outgoing_->startRunning();
    drain(outgoing_->videoInputStream(), [this](const platform::CMSampleBuffer& frame) {
      outgoing_->appendVideo(frame);
      return false;
    });
    drain(outgoing_->videoOutputStream(), [](const platform::CMSampleBuffer&) { return true; });
    drain(outgoing_->audioOutputStream(), [](const OutgoingStream::AudioOutput&) { return false; }, true);
  }

  Async<std::optional<std::uint8_t>> videoTrackId() override { co_return MediaMixer::mixedTrack; }
  Async<std::optional<std::uint8_t>> audioTrackId() override { co_return MediaMixer::mixedTrack; }
  void mixer(MediaMixer&, const platform::CMSampleBuffer& sampleBuffer) override {
    asio::post(strand(), [this, sampleBuffer] { outgoing_->append(sampleBuffer); });
  }
  void mixer(MediaMixer&, const std::shared_ptr<platform::AVAudioPCMBuffer>& buffer,
             const std::shared_ptr<platform::AVAudioTime>& when) override {
    asio::post(strand(), [this, buffer, when] { outgoing_->append(buffer, when); });
  }
  Async<void> selectTrack(std::optional<std::uint8_t>, platform::CMMediaType) override { co_return; }

  bool waitForEncoded(std::size_t video, std::size_t audio) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30),
                             [&] { return encodedVideo_ >= video && encodedAudio_ >= audio; });
  }
  void stop() {
    blockOn([this]() -> Async<void> {
      auto body = isolated([this] { return stopBody(); });
      co_await std::move(body);
    });
  }

 private:
  Async<void> stopBody() {
    outgoing_->stopRunning();
    co_return;
  }

  template <class T, class Body>
  void drain(platform::AsyncStream<T> stream, Body body, bool audio = false) {
    platform::spawn(strand(), [this, stream, body, audio]() -> Async<void> {
      while (auto element = co_await stream.next()) {
        const bool isVideo = body(*element);
        std::lock_guard lock(mutex_);
        if (isVideo) ++encodedVideo_;
        if (audio) ++encodedAudio_;
        changed_.notify_all();
      }
    });
  }

  std::shared_ptr<OutgoingStream> outgoing_ = OutgoingStream::make();
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t encodedVideo_ = 0;
  std::size_t encodedAudio_ = 0;
};

double number(const nlohmann::json& value) { return std::stod(value.get<std::string>()); }

// The video and audio streams of a file as ffprobe reads them, frames counted.
struct Probed {
  std::optional<nlohmann::json> video;
  std::optional<nlohmann::json> audio;
};

Probed probe(const std::string& path) {
  const auto result = peers::run("ffprobe -v error -count_frames -show_streams -show_format -of json " +
                                 peers::quoted(path));
  Probed probed;
  if (result.exitCode != 0) return probed;
  const auto parsed = nlohmann::json::parse(result.output);
  for (const auto& stream : parsed.at("streams")) {
    (stream.at("codec_type") == "video" ? probed.video : probed.audio) = stream;
  }
  return probed;
}

TEST(MediaMixerPeer, SyntheticDevicesIntoEncodersAndAMovie) {
  peers::TemporaryDirectory directory;
  const auto url = platform::URL::fileURL(directory.path() / "capture.mp4");
  auto mixer = MediaMixer::make(MediaMixer::CaptureSessionMode::single);
  auto recorder = StreamRecorder::make();
  auto encoder = platform::Actor::make<EncodingOutput>();
  blockOn([&]() -> Async<void> {
    co_await recorder->selectTrack(MediaMixer::mixedTrack, platform::kCMMediaType_Video);
    co_await recorder->selectTrack(MediaMixer::mixedTrack, platform::kCMMediaType_Audio);
    co_await recorder->startRecording(url, StreamRecorder::defaultSettings());
    co_await mixer->setVideoOrientation(platform::AVCaptureVideoOrientation::landscapeRight);
    co_await mixer->attachVideo(platform::SyntheticCameraSource::makeDevice(), 0);
    co_await mixer->attachAudio(platform::ToneMicrophoneSource::makeDevice(), 0);
    co_await mixer->addOutput(recorder);
    co_await mixer->addOutput(encoder);
    co_await mixer->startRunning();
  });
  // Two seconds of capture: 60 frames, 93 AAC packets.
  ASSERT_TRUE(encoder->waitForEncoded(kFrames, 90));
  blockOn(mixer->stopRunning());
  const auto written = *blockOn([&]() -> Async<std::optional<platform::URL>> { co_return co_await recorder->stopRecording(); });
  encoder->stop();

  const auto movie = probe(written.path());
  ASSERT_TRUE(movie.video && movie.audio);
  const auto* video = &*movie.video;
  const auto* audio = &*movie.audio;
  EXPECT_EQ(video->value("codec_name", ""), "h264");
  EXPECT_EQ(video->value("width", 0), 1280);
  EXPECT_EQ(video->value("height", 0), 720);
  const auto frames = std::stoul(video->value("nb_read_frames", "0"));
  EXPECT_GE(frames, kFrames - 2);
  EXPECT_EQ(audio->value("codec_name", ""), "aac");
  EXPECT_EQ(audio->value("sample_rate", ""), "48000");
  // Both tracks carry the two seconds and more that were captured (late
  // frames are dropped by the camera on a loaded machine, so a lower bound),
  // and the audio all of the time the video covers.
  const double videoDuration = number(video->at("duration"));
  EXPECT_GE(videoDuration, 1.8);
  EXPECT_NEAR(number(audio->at("duration")), videoDuration, 0.1);
}

// Counts the frames the mixer hands its outputs, and tells when enough came.
class DeliveredFrames final : public MediaMixerOutput {
 public:
  Async<std::optional<std::uint8_t>> videoTrackId() override { co_return MediaMixer::mixedTrack; }
  Async<std::optional<std::uint8_t>> audioTrackId() override { co_return MediaMixer::mixedTrack; }
  void mixer(MediaMixer&, const platform::CMSampleBuffer&) override {
    std::lock_guard lock(mutex_);
    ++frames_;
    changed_.notify_all();
  }
  void mixer(MediaMixer&, const std::shared_ptr<platform::AVAudioPCMBuffer>&,
             const std::shared_ptr<platform::AVAudioTime>&) override {}
  Async<void> selectTrack(std::optional<std::uint8_t>, platform::CMMediaType) override { co_return; }

  bool waitFor(std::size_t frames) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return frames_ >= frames; });
  }
  std::size_t count() {
    std::lock_guard lock(mutex_);
    return frames_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t frames_ = 0;
};

// The first and last presentation time of each stream of a file, in seconds.
struct Spans {
  std::optional<std::pair<double, double>> video;
  std::optional<std::pair<double, double>> audio;
};

Spans packetSpans(const std::string& path) {
  const auto result = peers::run(
      "ffprobe -v error -show_entries packet=codec_type,pts_time -of json " + peers::quoted(path));
  Spans spans;
  if (result.exitCode != 0) return spans;
  const auto parsed = nlohmann::json::parse(result.output);
  for (const auto& packet : parsed.at("packets")) {
    const double time = number(packet.at("pts_time"));
    auto& span = packet.at("codec_type") == "video" ? spans.video : spans.audio;
    span = span ? std::pair(std::min(span->first, time), std::max(span->second, time)) : std::pair(time, time);
  }
  return spans;
}

// The mix published live: nginx records what arrives, and the recording has
// the camera's size, every frame the mixer delivered and audio as long as the
// video. A loaded machine may make the camera skip frames, never the stream.
TEST(MediaMixerPeer, SyntheticDevicesPublishedToNginx) {
  using namespace std::chrono_literals;
  peers::NginxRTMPServer server({.record = true});
  auto connection = rtmpfluvio::RTMPConnection::make();
  auto stream = rtmpfluvio::RTMPStream::make(connection, "key");
  auto mixer = MediaMixer::make(MediaMixer::CaptureSessionMode::single);
  auto delivered = std::make_shared<DeliveredFrames>();
  // Made outside the coroutine: g++ 12 cannot copy an array initializer into its frame.
  const VideoCodecSettings videoSettings({1280, 720}, 2'200'000, "H264_Baseline_3_1");
  const std::string name = "key";
  blockOn([&]() -> Async<void> {
    co_await stream->setVideoSettings(videoSettings);
    co_await stream->setAudioSettings(AudioCodecSettings(128'000));
    co_await connection->connect("rtmp://127.0.0.1:" + std::to_string(server.port()) + "/live");
    co_await stream->publish(name);
    co_await mixer->setVideoOrientation(platform::AVCaptureVideoOrientation::landscapeRight);
    co_await mixer->attachVideo(platform::SyntheticCameraSource::makeDevice(), 0);
    co_await mixer->attachAudio(platform::ToneMicrophoneSource::makeDevice(), 0);
    co_await mixer->addOutput(delivered);
    co_await mixer->addOutput(stream);
    co_await mixer->startRunning();
  });
  ASSERT_TRUE(delivered->waitFor(kFrames));
  blockOn(mixer->stopRunning());
  const std::size_t frames = delivered->count();
  // Closing sends what the encoders still hold before the stream goes.
  blockOn(stream->close());
  blockOn(connection->close());

  const auto recording = (server.recordPath() / "key.flv").string();
  Probed movie;
  // nginx finishes the file on its own time.
  platform::testing::eventually([&] { return (movie = probe(recording)).video.has_value(); }, 5s);
  ASSERT_TRUE(movie.video && movie.audio) << server.errorLog();
  EXPECT_EQ(movie.video->value("width", 0), 1280);
  EXPECT_EQ(movie.video->value("height", 0), 720);
  EXPECT_EQ(movie.audio->value("codec_name", ""), "aac");
  const std::size_t recordedFrames = std::stoul(movie.video->value("nb_read_frames", "0"));
  EXPECT_LE(recordedFrames, frames);
  EXPECT_GE(recordedFrames + 4, frames);
  // FLV streams carry no duration of their own: the span of their packets.
  const Spans spans = packetSpans(recording);
  ASSERT_TRUE(spans.video && spans.audio);
  const double videoSeconds = spans.video->second - spans.video->first + 1.0 / 30;
  const double audioSeconds = spans.audio->second - spans.audio->first + 1024.0 / 48000;
  EXPECT_NEAR(audioSeconds, videoSeconds, 0.1);
}

}  // namespace
}  // namespace fluvio
