#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <type_traits>
#include <vector>

#include "Fluvio/Sources/Extension/CMSampleBufferExtension.hpp"
#include "Fluvio/Sources/Stream/OutgoingStream.hpp"
#include "Fluvio/Tests/Stream/StreamTestMedia.hpp"
#include "Platform/AVFAudio/AVAudioCompressedBuffer.hpp"
#include "Platform/Concurrency/Actor.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/Concurrency/Task.hpp"
#include "Platform/Concurrency/Tests/Support/Watched.hpp"
#include "Platform/VideoToolbox/VTSessionProperties.hpp"

namespace fluvio {
namespace {

using platform::Async;
using platform::CMSampleBuffer;
using platform::CMTime;

using namespace std::chrono_literals;

// Drives the outgoing stream as its owning network stream does: every call on
// one strand and, while publishing, three loops that collect the encoded
// media and feed the encoder from the video input.
class Publisher : public platform::Actor {
 public:
  Publisher(Key key, std::shared_ptr<OutgoingStream> outgoing) : Actor(key), outgoing_(std::move(outgoing)) {}
  // A test that fails early leaves no loop behind.
  ~Publisher() override {
    platform::blockOn(run([](OutgoingStream& stream) { stream.stopRunning(); }));
    loopsEnded();
  }

  Async<void> run(std::function<void(OutgoingStream&)> body) {
    return isolated([this, body = std::move(body)]() mutable { return runBody(std::move(body)); });
  }

  Async<void> publish() {
    return isolated([this] { return publishBody(); });
  }

  // Blocks until `done` holds for what the loops have collected, at most
  // 60 s: checked on the strand, again after each thing collected.
  bool waitUntil(std::function<bool(const Publisher&)> done) {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    for (;;) {
      const int seen = collected_.load();
      bool reached = false;
      platform::blockOn(run([&](OutgoingStream&) { reached = done(*this); }));
      if (reached) return true;
      const auto left = deadline - std::chrono::steady_clock::now();
      const auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(left);
      if (!collected_.waitUntil([seen](int count) { return count > seen; }, limit)) return false;
    }
  }

  // True once every loop has run to its end.
  bool loopsEnded() {
    for (auto& ended : loopsEnded_) {
      if (ended.wait_for(10s) != std::future_status::ready) return false;
    }
    return true;
  }

  std::vector<CMSampleBuffer> video;
  std::vector<OutgoingStream::AudioOutput> audio;

 private:
  Async<void> runBody(std::function<void(OutgoingStream&)> body) {
    body(*outgoing_);
    co_return;
  }

  Async<void> publishBody() {
    outgoing_->startRunning();
    loop(outgoing_->audioOutputStream(), [this](OutgoingStream::AudioOutput output) {
      audio.push_back(std::move(output));
      collected_.add();
    });
    loop(outgoing_->videoOutputStream(), [this](CMSampleBuffer sample) {
      video.push_back(std::move(sample));
      collected_.add();
    });
    loop(outgoing_->videoInputStream(), [this](CMSampleBuffer frame) { return outgoing_->encodeVideo(std::move(frame)); });
    co_return;
  }

  template <class T, class Body>
  void loop(platform::AsyncStream<T> stream, Body body) {
    auto ended = std::make_shared<std::promise<void>>();
    loopsEnded_.push_back(ended->get_future());
    platform::spawn(strand(), [stream, body, ended]() -> Async<void> {
      while (auto element = co_await stream.next()) {
        if constexpr (std::is_void_v<std::invoke_result_t<Body&, T>>) {
          body(std::move(*element));
        } else {
          auto handled = body(std::move(*element));
          co_await std::move(handled);
        }
      }
      ended->set_value();
    });
  }

  std::shared_ptr<OutgoingStream> outgoing_;
  std::vector<std::future<void>> loopsEnded_;
  platform::testing::WatchedCount collected_;
};

const CMSampleBuffer* lastOrNull(const std::vector<CMSampleBuffer>& samples) {
  return samples.empty() ? nullptr : &samples.back();
}

TEST(OutgoingStreamEncodingTests, RawFramesAndPCMComeOutAsH264AndAACInOrderAndStopEndsEveryLoop) {
  constexpr int kFrames = 24;
  constexpr int kAudioChunks = 24;
  constexpr double kRate = 48'000;

  const auto outgoing = OutgoingStream::make();
  outgoing->setVideoSettings(
      VideoCodecSettings({1280, 720}, 2'200'000, std::string(platform::kVTProfileLevel_H264_Baseline_3_1)));
  outgoing->setAudioSettings(AudioCodecSettings(128'000, true, std::nullopt, 0, AudioCodecFormat::aac));
  // A small bound: frames the encoder has no time for are dropped, the newest always kept.
  outgoing->setVideoInputBufferCounts(2);
  const auto publisher = platform::Actor::make<Publisher>(outgoing);
  platform::blockOn(publisher->publish());

  // BGRA first, then NV12: the encoder takes the new format on its first frame.
  const auto start = testing::hostTimeNow();
  std::vector<CMTime> frameTimes;
  const auto pcm = platform::AVAudioFormat::makeStandard(kRate, 2);
  const auto audioStart = platform::HostClock::now();
  for (int index = 0; index < kFrames; ++index) {
    frameTimes.push_back(start + CMTime::make(index, 30));
    const auto format = index < kFrames / 2 ? platform::kCVPixelFormatType_32BGRA
                                            : platform::kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange;
    auto frame = testing::rawVideoFrame(index, frameTimes.back(), 1280, 720, format);
    const auto firstSample = std::int64_t{index} * 1024;
    auto tone = testing::toneBuffer(pcm, 1024, firstSample);
    auto when = testing::audioTime(audioStart, firstSample, kRate);
    platform::blockOn(publisher->run([&](OutgoingStream& stream) {
      stream.append(frame);
      stream.append(tone, when);
    }));
  }
  ASSERT_TRUE(publisher->waitUntil([&](const Publisher& p) {
    const auto* last = lastOrNull(p.video);
    return last && last->presentationTimeStamp() == frameTimes.back();
  })) << "the newest frame never came out of the encoder";
  platform::blockOn(publisher->run([](OutgoingStream& stream) { stream.stopRunning(); }));
  ASSERT_TRUE(publisher->loopsEnded());

  // Video: H.264 samples of the 720p picture, a subset of the input in its order.
  const auto& video = publisher->video;
  ASSERT_GE(video.size(), 2u);
  EXPECT_FALSE(isNotSync(video.front()));
  auto expected = frameTimes.begin();
  for (const auto& sample : video) {
    ASSERT_TRUE(sample.formatDescription());
    EXPECT_EQ(sample.formatDescription()->mediaSubType(), platform::kCMVideoCodecType_H264);
    EXPECT_EQ(sample.formatDescription()->dimensions(), (platform::CMVideoDimensions{1280, 720}));
    EXPECT_GE(sample.formatDescription()->parameterSets().size(), 2u);
    ASSERT_TRUE(sample.dataBuffer());
    EXPECT_GT(sample.dataBuffer()->data().size(), 0u);
    expected = std::find(expected, frameTimes.end(), sample.presentationTimeStamp());
    ASSERT_NE(expected, frameTimes.end()) << "a frame out of order or not among the input";
    ++expected;
  }

  // Audio: one AAC packet per 1,024 input frames, and the encoder's delay
  // sent when the stream stops; times rising.
  const auto& audio = publisher->audio;
  EXPECT_GE(audio.size(), static_cast<std::size_t>(kAudioChunks - 4));
  EXPECT_LE(audio.size(), static_cast<std::size_t>(kAudioChunks + 2));
  for (std::size_t index = 0; index < audio.size(); ++index) {
    const auto packet = std::dynamic_pointer_cast<platform::AVAudioCompressedBuffer>(audio[index].first);
    ASSERT_TRUE(packet) << "packet " << index;
    EXPECT_EQ(packet->format()->streamDescription().mFormatID, platform::kAudioFormatMPEG4AAC);
    EXPECT_EQ(packet->packetCount(), 1u);
    EXPECT_GT(packet->byteLength(), 0u);
    ASSERT_TRUE(audio[index].second);
    if (index > 0) {
      EXPECT_EQ(audio[index].second->sampleTime() - audio[index - 1].second->sampleTime(), 1024) << "packet " << index;
      EXPECT_GT(audio[index].second->hostTime(), audio[index - 1].second->hostTime());
    }
  }
}

TEST(OutgoingStreamEncodingTests, AKeyFrameRequestWhileFramesFlowForcesTheNextFrameEncodedOnly) {
  const auto outgoing = OutgoingStream::make();
  outgoing->setVideoSettings(
      VideoCodecSettings({640, 360}, 1'000'000, std::string(platform::kVTProfileLevel_H264_Baseline_3_1)));
  const auto publisher = platform::Actor::make<Publisher>(outgoing);
  platform::blockOn(publisher->publish());

  const auto start = testing::hostTimeNow();
  std::vector<CMTime> frameTimes;
  const auto appendFrames = [&](int count) {
    for (int index = 0; index < count; ++index) {
      frameTimes.push_back(start + CMTime::make(static_cast<std::int64_t>(frameTimes.size()), 30));
      auto frame = testing::rawVideoFrame(static_cast<int>(frameTimes.size()), frameTimes.back(), 640, 360);
      platform::blockOn(publisher->run([&](OutgoingStream& stream) { stream.append(frame); }));
    }
  };
  const auto cameOut = [&](std::size_t frames) {
    return publisher->waitUntil([&](const Publisher& p) {
      const auto* last = lastOrNull(p.video);
      return last && last->presentationTimeStamp() == frameTimes[frames - 1];
    });
  };
  // Every frame before the request is out of the encoder: none of them may take it.
  appendFrames(6);
  ASSERT_TRUE(cameOut(6));
  platform::blockOn(publisher->run([](OutgoingStream& stream) { stream.requestKeyFrame(); }));
  appendFrames(4);
  ASSERT_TRUE(cameOut(10));
  platform::blockOn(publisher->run([](OutgoingStream& stream) { stream.stopRunning(); }));
  ASSERT_TRUE(publisher->loopsEnded());

  const auto& video = publisher->video;
  ASSERT_EQ(video.size(), frameTimes.size());
  for (std::size_t index = 0; index < video.size(); ++index) {
    EXPECT_EQ(video[index].presentationTimeStamp(), frameTimes[index]);
    EXPECT_EQ(!isNotSync(video[index]), index == 0 || index == 6) << "frame " << index;
  }
}

}  // namespace
}  // namespace fluvio
