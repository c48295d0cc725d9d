// Movies the recorder writes from a stream, as the ffmpeg tools read them.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "Fluvio/Sources/Stream/StreamRecorder.hpp"
#include "Fluvio/Tests/Stream/IncomingStreamTestSupport.hpp"
#include "Platform/AVFoundation/Tests/support/WriterMedia.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "tests/peers/support/Process.hpp"

namespace fluvio {
namespace {

using platform::Async;
using platform::URL;

constexpr int frameCount = 60;  // two seconds at 30 fps
constexpr std::int64_t audioFramesPerVideoFrame = 1600;

URL record(const std::shared_ptr<StreamRecorder>& recorder, const URL& url, StreamRecorder::Settings settings,
           const std::function<void(StreamRecorder&, StreamConvertible&)>& deliver) {
  platform::blockOn([&]() -> Async<void> { co_await recorder->startRecording(url, settings); });
  // Only named as the media's source: the recorder never calls it.
  const auto stream = platform::Actor::make<testing::RecordingStream>();
  deliver(*recorder, *stream);
  EXPECT_EQ(recorder->drops(), StreamRecorder::Drops{}) << "a source held back to the writer loses nothing";
  return *platform::blockOn([&]() -> Async<std::optional<URL>> { co_return co_await recorder->stopRecording(); });
}

// Waits until the recorder has written what it was given, as a real-time
// source gives no more than a writer that keeps up can take.
void caughtUp(StreamRecorder& recorder) {
  platform::blockOn([&]() -> Async<void> { co_await recorder.isRecording(); });
}

nlohmann::json probe(const URL& url) {
  const auto result =
      peers::run("ffprobe -v error -count_frames -show_streams -show_format -of json " + peers::quoted(url.path()));
  EXPECT_EQ(result.exitCode, 0) << result.output;
  return nlohmann::json::parse(result.output);
}

const nlohmann::json& streamOf(const nlohmann::json& movie, const std::string& type) {
  for (const auto& stream : movie.at("streams")) {
    if (stream.at("codec_type") == type) return stream;
  }
  static const nlohmann::json none;
  ADD_FAILURE() << "no " << type << " stream";
  return none;
}

double number(const nlohmann::json& value) { return std::stod(value.get<std::string>()); }

void expectCleanDecode(const URL& url) {
  const auto result = peers::run("ffmpeg -nostdin -v error -i " + peers::quoted(url.path()) + " -f null - 2>&1");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.output, "");
}

void expectTwoSeconds(const nlohmann::json& movie, const std::string& videoCodec, int width, int height,
                      const std::string& formatName) {
  EXPECT_NE(movie.at("format").at("format_name").get<std::string>().find(formatName), std::string::npos);
  EXPECT_NEAR(number(movie.at("format").at("duration")), 2.0, 0.05);
  const auto& video = streamOf(movie, "video");
  EXPECT_EQ(video.value("codec_name", ""), videoCodec);
  EXPECT_EQ(video.value("width", 0), width);
  EXPECT_EQ(video.value("height", 0), height);
  EXPECT_EQ(video.value("nb_read_frames", ""), std::to_string(frameCount));
  EXPECT_NEAR(number(video.at("duration")), 2.0, 0.001);
  const auto& audio = streamOf(movie, "audio");
  EXPECT_EQ(audio.value("codec_name", ""), "aac");
  EXPECT_EQ(audio.value("sample_rate", ""), "48000");
  EXPECT_EQ(audio.value("channels", 0), 2);
  EXPECT_NEAR(number(audio.at("duration")), 2.0, 0.05);
}

class StreamRecorderPeer : public ::testing::Test {
 protected:
  URL target(const std::string& name) const { return URL::fileURL(directory_.path() / name); }

  peers::TemporaryDirectory directory_;
  std::shared_ptr<StreamRecorder> recorder_ = StreamRecorder::make();
};

TEST_F(StreamRecorderPeer, EncodesARawStreamIntoAnMPEG4File) {
  const URL output = record(recorder_, target("raw.mp4"), StreamRecorder::defaultSettings(),
                            [](StreamRecorder& recorder, StreamConvertible& stream) {
                              std::int64_t audioFrame = 0;
                              const auto deliverAudioUntil = [&](std::int64_t end) {
                                for (; audioFrame < end; audioFrame += writertest::pcmBufferFrames) {
                                  const auto [audio, when] = writertest::pcmBuffer(audioFrame);
                                  recorder.stream(stream, audio, when);
                                }
                              };
                              for (int frame = 0; frame < frameCount; ++frame) {
                                // Audio first at each moment, so the very first picture is written.
                                deliverAudioUntil(frame * audioFramesPerVideoFrame + 1);
                                recorder.stream(stream, writertest::rawVideoSample(640, 360, frame));
                                caughtUp(recorder);
                              }
                              deliverAudioUntil(frameCount * audioFramesPerVideoFrame);
                            });
  expectTwoSeconds(probe(output), "h264", 640, 360, "mp4");
  expectCleanDecode(output);
}

TEST_F(StreamRecorderPeer, TakesAnEncodedStreamAsItIsIntoAQuickTimeMovie) {
  StreamRecorder::Settings hevc = StreamRecorder::defaultSettings();
  hevc.insert_or_assign(platform::AVMediaTypeVideo,
                        platform::AVOutputSettings{{platform::AVVideoCodecKey, platform::AVVideoCodecTypeHEVC},
                                                   {platform::AVVideoWidthKey, std::int64_t{0}},
                                                   {platform::AVVideoHeightKey, std::int64_t{0}}});
  const auto pictures = writertest::encodedVideoSamples(platform::kCMVideoCodecType_HEVC, 480, 270, 0, frameCount);
  const auto sound = writertest::aacSamples(48000, 2, 94);
  const URL output =
      record(recorder_, target("encoded.mov"), hevc, [&](StreamRecorder& recorder, StreamConvertible& stream) {
        std::size_t next = 0;
        for (const auto& picture : pictures) {
          while (next < sound.size() && sound[next].presentationTimeStamp() <= picture.presentationTimeStamp()) {
            recorder.stream(stream, sound[next++]);
          }
          recorder.stream(stream, picture);
          caughtUp(recorder);
        }
        while (next < sound.size()) recorder.stream(stream, sound[next++]);
      });
  expectTwoSeconds(probe(output), "hevc", 480, 270, "mov");
  expectCleanDecode(output);
}

}  // namespace
}  // namespace fluvio
