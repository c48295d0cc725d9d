#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Fluvio/Tests/Stream/StreamTestMedia.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Tests/Support/Eventually.hpp"
#include "Platform/Concurrency/Tests/Support/NextWithin.hpp"
#include "Fluvio/Sources/Stream/StreamOutput.hpp"
#include "Platform/VideoToolbox/VTSessionProperties.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPConnection.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPStream.hpp"
#include "RTMPFluvio/Tests/RTMP/ScriptedRTMPServer.hpp"
#include "tests/peers/support/NginxRTMPServer.hpp"
#include "tests/peers/support/Process.hpp"

namespace {

using namespace std::chrono_literals;
using platform::blockOn;
using rtmpfluvio::RTMPConnection;
using rtmpfluvio::RTMPStream;

constexpr int kFrames = 90;
constexpr double kFrameRate = 30;
constexpr double kSampleRate = 48000;

// What the stream's encoders make of the raw 640 x 360 frames and 48 kHz sound.
struct Codecs {
  std::string_view profileLevel = platform::kVTProfileLevel_H264_Baseline_3_1;
  platform::CGSize videoSize{640, 360};
  fluvio::AudioCodecFormat audioFormat = fluvio::AudioCodecFormat::aac;
  // 0 keeps the input's rate.
  double audioSampleRate = 0;
};

// A publication of raw frames and PCM through the stream's own encoders.
struct Publisher {
  explicit Publisher(const std::string& url, const std::string& name = "key", const Codecs& codecs = {})
      : connection(RTMPConnection::make()), stream(RTMPStream::make(connection, name)) {
    blockOn(stream->setVideoSettings(fluvio::VideoCodecSettings(
        codecs.videoSize, 1'000'000, std::string(codecs.profileLevel), fluvio::VideoCodecSettings::ScalingMode::trim,
        fluvio::VideoCodecSettings::BitRateMode::average(), 2, std::nullopt, std::vector<double>{0, 0}, false, true,
        kFrameRate)));
    blockOn(stream->setAudioSettings(
        fluvio::AudioCodecSettings(128'000, true, std::nullopt, codecs.audioSampleRate, codecs.audioFormat)));
    blockOn(connection->connect(url));
  }

  // Raw media for `frames` frames of stream time, faster than real time;
  // the number of sound frames appended, in 1,024-frame buffers.
  std::int64_t appendMedia(int frames) {
    const auto start = platform::HostClock::now();
    const auto format = platform::AVAudioFormat::makeStandard(kSampleRate, 2);
    std::int64_t audioFrame = 0;
    appendedVideoFrames += frames;
    for (int frame = 0; frame < frames; ++frame) {
      const double seconds = frame / kFrameRate;
      const auto time = platform::CMTime::makeWithSeconds(platform::HostClock::seconds(start) + seconds, 90000);
      blockOn(stream->append(fluvio::testing::rawVideoFrame(frame, time, 640, 360)));
      while (audioFrame / kSampleRate <= seconds) {
        blockOn(stream->append(fluvio::testing::toneBuffer(format, 1024, audioFrame),
                               fluvio::testing::audioTime(start, audioFrame, kSampleRate)));
        audioFrame += 1024;
      }
    }
    return audioFrame;
  }

  // Whether (within 20 s) the connection wrote every appended frame whole.
  // The stream announces no send, so its count is read until it holds.
  bool waitUntilSent() {
    return platform::testing::eventually(
        [&] { return blockOn(stream->info()).videoFramesSent == appendedVideoFrames; }, 20s);
  }

  std::shared_ptr<RTMPConnection> connection;
  std::shared_ptr<RTMPStream> stream;
  std::int64_t appendedVideoFrames = 0;
};

std::string probe(const std::filesystem::path& file, const std::string& arguments) {
  return peers::run("ffprobe -v error " + arguments + " " + peers::quoted(file.string())).output;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    if (!line.empty()) result.push_back(line);
  }
  return result;
}

// The application URL of the server's "live".
std::string applicationURL(const peers::NginxRTMPServer& server) {
  return "rtmp://127.0.0.1:" + std::to_string(server.port()) + "/live";
}

TEST(RTMPStreamPeerTests, PublishesEncodedMediaThatNginxRecordsWhole) {
  // Closed once the encoders went quiet, and closed at once after the last
  // append, while the encoders still hold frames: nothing may be lost either way.
  for (const bool closeAtOnce : {false, true}) {
    SCOPED_TRACE(closeAtOnce ? "closed at once" : "closed when sent");
    peers::NginxRTMPServer server({.record = true});
    Publisher publisher(applicationURL(server));
    const auto response = blockOn(publisher.stream->publish("key"));
    EXPECT_EQ(response.status()->code(), "NetStream.Publish.Start");
    const auto audioBuffers = static_cast<int>(publisher.appendMedia(kFrames) / 1024);
    if (closeAtOnce) {
      EXPECT_EQ(blockOn(publisher.stream->close()).status()->code(), "NetStream.Unpublish.Success");
    } else {
      ASSERT_TRUE(publisher.waitUntilSent());
    }
    blockOn(publisher.connection->close());

    const auto recording = server.recordPath() / "key.flv";
    // nginx finishes the file on its own time.
    EXPECT_TRUE(
        platform::testing::eventually([&] { return !probe(recording, "-show_entries format=duration").empty(); }, 5s));
    EXPECT_EQ(peers::run("ffmpeg -v error -i " + peers::quoted(recording.string()) + " -f null -").output, "");
    EXPECT_EQ(
        lines(probe(recording,
                    "-select_streams v -show_entries stream=codec_name,profile,level,width,height -of default=nw=1")),
        (std::vector<std::string>{"codec_name=h264", "profile=Constrained Baseline", "width=640", "height=360",
                                  "level=31"}));
    EXPECT_EQ(lines(probe(recording, "-select_streams a -show_entries stream=codec_name,sample_rate -of default=nw=1")),
              (std::vector<std::string>{"codec_name=aac", "sample_rate=48000"}));

    const auto packets = lines(probe(recording, "-select_streams v -show_entries packet=dts_time,flags -of csv=p=0"));
    // The encoder makes one frame of each raw frame.
    EXPECT_EQ(static_cast<int>(packets.size()), kFrames);
    double previousDts = -1;
    double lastKey = 0;
    for (const auto& packet : packets) {
      const double dts = std::stod(packet.substr(0, packet.find(',')));
      EXPECT_GT(dts, previousDts);
      previousDts = dts;
      if (packet.find('K') != std::string::npos) {
        EXPECT_LE(dts - lastKey, 2.0);
        lastKey = dts;
      }
    }
    // One AAC packet per PCM buffer at least; the encoder's delay adds one or two.
    const auto audioPackets = lines(probe(recording, "-select_streams a -show_entries packet=dts_time -of csv=p=0"));
    EXPECT_GE(static_cast<int>(audioPackets.size()), audioBuffers);
    EXPECT_LE(static_cast<int>(audioPackets.size()), audioBuffers + 2);
    const auto starts = lines(probe(recording, "-show_entries stream=start_time -of csv=p=0"));
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_NEAR(std::stod(starts[0]), std::stod(starts[1]), 0.1);
  }
}

TEST(RTMPStreamPeerTests, FFmpegReceivesThePublication) {
  peers::FFmpegRTMPListener listener;
  Publisher publisher("rtmp://127.0.0.1:" + std::to_string(listener.port()) + "/app");
  blockOn(publisher.stream->publish("key"));
  publisher.appendMedia(30);
  ASSERT_TRUE(publisher.waitUntilSent());
  blockOn(publisher.connection->close());
  // ffmpeg reports the end of the stream in its output only.
  EXPECT_TRUE(
      platform::testing::eventually([&] { return listener.output().find("muxing overhead") != std::string::npos; }));
  const auto output = listener.output();
  EXPECT_NE(output.find("Video: h264 (Constrained Baseline)"), std::string::npos) << output;
  EXPECT_NE(output.find("Audio: aac (LC), 48000 Hz, stereo"), std::string::npos) << output;
  EXPECT_NE(output.find("frame=   30"), std::string::npos) << output;
}

TEST(RTMPStreamPeerTests, ASecondPublisherOfTheSameNameIsRefused) {
  peers::NginxRTMPServer server({});
  Publisher first(applicationURL(server));
  blockOn(first.stream->publish("key"));
  Publisher second(applicationURL(server));
  try {
    blockOn(second.stream->publish("key"));
    ADD_FAILURE() << "published twice";
  } catch (const RTMPStream::Error& error) {
    EXPECT_EQ(error.errorCase(), RTMPStream::Error::Case::requestFailed);
    ASSERT_TRUE(error.response() && error.response()->status());
    EXPECT_EQ(error.response()->status()->code(), "NetStream.Publish.BadName");
    EXPECT_STREQ(error.what(), "RTMPStream.Error.requestFailed: NetStream.Publish.BadName: Already publishing");
  }
  EXPECT_EQ(blockOn(second.stream->readyState()), fluvio::StreamReadyState::idle);
}

TEST(RTMPStreamPeerTests, AServerThatDiesEndsThePublication) {
  std::optional<peers::NginxRTMPServer> server(std::in_place, peers::NginxRTMPServer::Options{});
  Publisher publisher(applicationURL(*server));
  auto status = blockOn(publisher.connection->status());
  auto states = blockOn(publisher.stream->readyStatePublisher());
  blockOn(publisher.stream->publish("key"));
  publisher.appendMedia(10);
  server.reset();
  const auto killedAt = std::chrono::steady_clock::now();
  auto closed = blockOn(status.next());
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed->code(), "NetConnection.Connect.Closed");
  EXPECT_LT(std::chrono::steady_clock::now() - killedAt, 1s);
  // The sequence starts with the state it had when taken: idle, before the publication.
  const auto reaches = [&](fluvio::StreamReadyState wanted) {
    for (;;) {
      const auto state = platform::testing::nextWithin(states, 5s);
      if (!state || *state == wanted) return state.has_value();
    }
  };
  ASSERT_TRUE(reaches(fluvio::StreamReadyState::publishing));
  EXPECT_TRUE(reaches(fluvio::StreamReadyState::idle));
  EXPECT_EQ(blockOn(publisher.stream->readyState()), fluvio::StreamReadyState::idle);
  // Idle only once the encoders have stopped and the media tasks have ended.
}

// Records each decoded picture and audio buffer as it comes out.
class PlaybackRecorder final : public fluvio::StreamOutput {
 public:
  struct Picture {
    double presentationSeconds;
    std::chrono::steady_clock::time_point shownAt;
    std::size_t width;
    std::size_t height;
  };
  struct Sound {
    double sampleRate;
    std::uint32_t channels;
    std::uint32_t frames;
    double seconds;
  };

  void stream(fluvio::StreamConvertible&, const std::shared_ptr<platform::AVAudioBuffer>& buffer,
              const std::shared_ptr<platform::AVAudioTime>& when) override {
    const auto* pcm = dynamic_cast<const platform::AVAudioPCMBuffer*>(buffer.get());
    if (!pcm) return;
    const std::lock_guard lock(mutex_);
    sounds_.push_back({pcm->format()->sampleRate(), pcm->format()->channelCount(), pcm->frameLength(),
                       when && when->isHostTimeValid() ? platform::AVAudioTime::seconds(when->hostTime()) : -1});
    soundSeconds_ += pcm->frameLength() / pcm->format()->sampleRate();
    changed_.notify_all();
  }
  void stream(fluvio::StreamConvertible&, const platform::CMSampleBuffer& sampleBuffer) override {
    const auto& image = sampleBuffer.imageBuffer();
    const std::lock_guard lock(mutex_);
    pictures_.push_back({sampleBuffer.presentationTimeStamp().seconds(), std::chrono::steady_clock::now(),
                         image ? image->width() : 0, image ? image->height() : 0});
    changed_.notify_all();
  }

  std::vector<Picture> pictures() const {
    const std::lock_guard lock(mutex_);
    return pictures_;
  }
  // True once `count` pictures were shown before `timeout`.
  bool waitForPictures(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return pictures_.size() >= count; });
  }
  // True once `seconds` of sound came out before `timeout`.
  bool waitForSound(double seconds, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return soundSeconds_ >= seconds; });
  }
  std::vector<Sound> sounds() const {
    const std::lock_guard lock(mutex_);
    return sounds_;
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<Picture> pictures_;
  std::vector<Sound> sounds_;
  double soundSeconds_ = 0;
};

// A test source (testsrc2 picture at 30 frames a second, sine tone), encoded
// the way a live encoder would, with a key frame every second. Short enough
// that the player holds it all when it comes at once.
constexpr int kSourceFrames = 84;

std::filesystem::path encodeSource(const std::filesystem::path& directory) {
  const auto file = directory / "source.flv";
  const auto encoded = peers::run(
      "ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i testsrc2=size=640x360:rate=30 -f lavfi -i "
      "sine=frequency=440:sample_rate=44100 -frames:v " +
      std::to_string(kSourceFrames) + " -t " + std::to_string(kSourceFrames / 30.0) +
      " -c:v libx264 -preset ultrafast -tune zerolatency -pix_fmt yuv420p -g 30 -c:a aac -b:a 128k -f flv " +
      peers::quoted(file.string()));
  EXPECT_EQ(encoded.exitCode, 0) << encoded.output;
  return file;
}

// ffmpeg publishes the whole source to nginx at once, far faster than real
// time, so the pace of showing is our player's alone. Every picture comes
// out, in order, key frames of several chunks included; none before its time
// stamp says, counted from when the publication began (less the lead that
// the sound's clock takes at the start), and the last one in about the
// stream's own time; the sound comes out too.
TEST(RTMPStreamPeerTests, PlaysALiveSourceAtRealTime) {
  peers::TemporaryDirectory directory;
  const auto source = encodeSource(directory.path());
  peers::NginxRTMPServer server({});
  auto connection = RTMPConnection::make();
  auto stream = RTMPStream::make(connection);
  auto recorder = std::make_shared<PlaybackRecorder>();
  blockOn(stream->addOutput(recorder));
  blockOn(connection->connect(applicationURL(server)));
  const auto response = blockOn(stream->play({"source"}));
  EXPECT_EQ(response.status()->code(), "NetStream.Play.Start");
  const auto publishing = std::chrono::steady_clock::now();
  const auto published = peers::run("ffmpeg -nostdin -hide_banner -loglevel error -i " +
                                    peers::quoted(source.string()) + " -c copy -f flv " +
                                    peers::quoted(applicationURL(server) + "/source"));
  ASSERT_EQ(published.exitCode, 0) << published.output;
  const bool shownAll = recorder->waitForPictures(kSourceFrames, 30s);
  blockOn(connection->close());

  const auto pictures = recorder->pictures();
  ASSERT_TRUE(shownAll) << pictures.size() << " pictures shown\n" << server.errorLog();
  EXPECT_EQ(pictures.size(), std::size_t(kSourceFrames));
  const auto sincePublishing = [&](const PlaybackRecorder::Picture& picture) {
    return std::pair{picture.presentationSeconds - pictures.front().presentationSeconds,
                     std::chrono::duration<double>(picture.shownAt - publishing).count()};
  };
  for (std::size_t index = 1; index < pictures.size(); ++index) {
    ASSERT_GT(pictures[index].presentationSeconds, pictures[index - 1].presentationSeconds) << "picture " << index;
    const auto [streamSeconds, wallSeconds] = sincePublishing(pictures[index]);
    EXPECT_GE(wallSeconds, streamSeconds - 0.5) << "picture " << index << " shown early";
  }
  // Late only by what a loaded machine may add.
  const auto [streamSeconds, wallSeconds] = sincePublishing(pictures.back());
  EXPECT_LE(wallSeconds, streamSeconds + 3.0) << streamSeconds << " s of pictures in " << wallSeconds << " s";
  // 44,100 Hz in packets of 1,024 samples: 43 a second, for more than two seconds.
  EXPECT_GE(recorder->sounds().size(), 2u * 43) << "the sound comes out too";
}

// Carries a publication from our publisher to our player.
enum class Relay {
  nginx,
  // For the enhanced video form, which this nginx drops: it takes the frame
  // type nibble, extended-header bit included, as a send priority beyond
  // every queue's limit.
  scripted,
};

// The most sound an encoder may still hold at the end: a packet.
constexpr double kHeldSoundSeconds = 0.03;

// Waits (at most 15 s each) for every published picture and the published
// sound, less what an encoder holds: pictures come out at the pace of their
// time stamps. Then gives a picture past the last a second to show: a real
// window, since a surplus picture has no event of its own.
void waitUntilShown(const PlaybackRecorder& recorder, double publishedAudioSeconds) {
  EXPECT_TRUE(recorder.waitForPictures(kFrames, 15s)) << recorder.pictures().size() << " pictures shown";
  EXPECT_TRUE(recorder.waitForSound(publishedAudioSeconds - kHeldSoundSeconds, 15s));
  EXPECT_FALSE(recorder.waitForPictures(kFrames + 1, 1s)) << "a picture past the last";
}

struct Playback {
  std::shared_ptr<PlaybackRecorder> recorder;
  double publishedAudioSeconds;
};

// What our own player makes of our publication of `kFrames` frames in
// `codecs`. Through nginx the player waits before the publication starts,
// since nginx keeps sequence headers of the legacy form only for those who
// join late; the scripted relay takes the whole publication, then plays it
// out in one go.
Playback playBack(const Codecs& codecs, Relay relay) {
  auto recorder = std::make_shared<PlaybackRecorder>();
  double audioSeconds = 0;
  auto connection = RTMPConnection::make();
  auto player = RTMPStream::make(connection);
  blockOn(player->addOutput(recorder));
  const auto publish = [&](const std::string& url) {
    Publisher publisher(url, "key", codecs);
    blockOn(publisher.stream->publish("key"));
    audioSeconds = static_cast<double>(publisher.appendMedia(kFrames)) / kSampleRate;
    ASSERT_TRUE(publisher.waitUntilSent());
    blockOn(publisher.connection->close());
  };
  const auto play = [&](const std::string& url) {
    blockOn(connection->connect(url));
    blockOn(player->play({"key"}));
  };
  if (relay == Relay::nginx) {
    peers::NginxRTMPServer server({});
    play(applicationURL(server));
    publish(applicationURL(server));
    waitUntilShown(*recorder, audioSeconds);
    blockOn(connection->close());
    return {recorder, audioSeconds};
  }
  rtmpfluvio::testing::ScriptedRTMPServer server;
  std::vector<rtmpfluvio::RTMPReceivedMessage> media;
  auto publication = std::async(std::launch::async, [&] {
    server.accept();
    server.servePublisher([&media](const rtmpfluvio::RTMPReceivedMessage& message) {
      if (std::holds_alternative<rtmpfluvio::RTMPAudioMessage>(message) ||
          std::holds_alternative<rtmpfluvio::RTMPVideoMessage>(message)) {
        media.push_back(message);
      }
    });
  });
  publish(server.url());
  publication.get();
  auto playout = std::async(std::launch::async, [&] {
    server.accept();
    server.servePlayer(media);
  });
  play(server.url());
  waitUntilShown(*recorder, audioSeconds);
  blockOn(connection->close());
  playout.get();
  return {recorder, audioSeconds};
}

// Our publication played back by our own stream in each codec of the
// enhanced form, beside one of the legacy form: every picture is decoded at
// its size, in order and a frame's time apart; the sound is decoded at its
// rate, as long as what was published and timed from the start. (The pace of
// showing is the live-source test's; here the encoders set the pace.)
TEST(RTMPStreamPeerTests, PlaysBackItsOwnPublicationInEachCodec) {
  struct Case {
    const char* name;
    Codecs codecs;
    Relay relay;
    double decodedRate;
  };
  constexpr auto hevc = platform::kVTProfileLevel_HEVC_Main_AutoLevel;
  constexpr auto h264 = platform::kVTProfileLevel_H264_Baseline_3_1;
  const Case cases[] = {
      {"H.264 and Opus", {h264, {640, 360}, fluvio::AudioCodecFormat::opus, 0}, Relay::nginx, 48000},
      {"H.264 and Opus at 24 kHz", {h264, {320, 240}, fluvio::AudioCodecFormat::opus, 24000}, Relay::nginx, 24000},
      {"HEVC and AAC", {hevc, {640, 360}, fluvio::AudioCodecFormat::aac, 0}, Relay::scripted, 48000},
      {"HEVC and Opus at 24 kHz", {hevc, {320, 240}, fluvio::AudioCodecFormat::opus, 24000}, Relay::scripted, 24000},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    const auto [recorder, publishedAudioSeconds] = playBack(testCase.codecs, testCase.relay);
    const auto pictures = recorder->pictures();
    ASSERT_EQ(pictures.size(), static_cast<std::size_t>(kFrames));
    EXPECT_LT(pictures.front().presentationSeconds, 0.05);
    for (std::size_t index = 0; index < pictures.size(); ++index) {
      EXPECT_EQ(pictures[index].width, testCase.codecs.videoSize.width) << "picture " << index;
      EXPECT_EQ(pictures[index].height, testCase.codecs.videoSize.height) << "picture " << index;
      // Whole milliseconds on the wire.
      if (index > 0) {
        EXPECT_NEAR(pictures[index].presentationSeconds - pictures[index - 1].presentationSeconds, 1 / kFrameRate,
                    0.001)
            << "picture " << index;
      }
    }

    const auto sounds = recorder->sounds();
    ASSERT_FALSE(sounds.empty());
    EXPECT_LT(sounds.front().seconds, 0.05);
    double frames = 0;
    for (std::size_t index = 0; index < sounds.size(); ++index) {
      EXPECT_EQ(sounds[index].sampleRate, testCase.decodedRate) << "buffer " << index;
      EXPECT_EQ(sounds[index].channels, 2u) << "buffer " << index;
      if (index > 0) {
        EXPECT_GT(sounds[index].seconds, sounds[index - 1].seconds) << "buffer " << index;
      }
      frames += sounds[index].frames;
    }
    // Short by at most the packet an encoder still holds at the end.
    EXPECT_NEAR(frames / testCase.decodedRate, publishedAudioSeconds, kHeldSoundSeconds);
  }
}

}  // namespace
