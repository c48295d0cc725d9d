#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Fluvio/Sources/Stream/AudioPlayer.hpp"
#include "Fluvio/Sources/Stream/IncomingStream.hpp"
#include "Fluvio/Sources/Stream/OutgoingStream.hpp"
#include "Fluvio/Sources/Stream/SoundTransform.hpp"
#include "Fluvio/Sources/Stream/Stream_.hpp"
#include "Platform/AVFAudio/AVAudioEngine.hpp"
#include "Platform/AVFAudio/NullAudioDevice.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/QuartzCore/ManualDisplayTickSource.hpp"

namespace fluvio {
namespace {

using platform::Async;
using platform::blockOn;

// A stream with nothing of a transport: only the composition's defaults, and
// a way for the tests to look at its state on its strand.
class CompositeStream final : public Stream_ {
 public:
  using Stream_::Stream_;
  static std::shared_ptr<CompositeStream> make() {
    const auto stream = Actor::make<CompositeStream>();
    stream->incoming_ = IncomingStream::make(stream, std::make_shared<platform::ManualDisplayTickSource>());
    return stream;
  }

  std::shared_ptr<IncomingStream> incoming() const override { return incoming_; }
  OutgoingStream& outgoing() override { return *outgoing_; }
  std::vector<std::shared_ptr<StreamOutput>>& outputs() override { return outputs_; }
  std::shared_ptr<StreamBitRateStrategy>& bitRateStrategy() override { return bitRateStrategy_; }

  template <class T>
  T inspect(std::function<T(CompositeStream&)> read) {
    return blockOn(isolated([this, read = std::move(read)]() mutable { return inspectBody(std::move(read)); }));
  }

  Async<StreamReadyState> readyState() override { co_return StreamReadyState::idle; }
  Async<void> setAudioSettings(AudioCodecSettings settings) override {
    return isolated([this, settings] {
      return change([settings](OutgoingStream& outgoing) { outgoing.setAudioSettings(settings); });
    });
  }
  Async<void> setVideoSettings(VideoCodecSettings settings) override {
    return isolated([this, settings] {
      return change([settings](OutgoingStream& outgoing) { outgoing.setVideoSettings(settings); });
    });
  }
  Async<void> append(platform::CMSampleBuffer) override { co_return; }
  Async<void> append(std::shared_ptr<platform::AVAudioBuffer>, std::shared_ptr<platform::AVAudioTime>) override {
    co_return;
  }
  Async<void> dispatch(NetworkMonitorEvent) override { co_return; }

  Async<std::optional<std::uint8_t>> videoTrackId() override { co_return std::nullopt; }
  Async<std::optional<std::uint8_t>> audioTrackId() override { co_return std::nullopt; }
  void mixer(MediaMixer&, const platform::CMSampleBuffer&) override {}
  void mixer(MediaMixer&, const std::shared_ptr<platform::AVAudioPCMBuffer>&,
             const std::shared_ptr<platform::AVAudioTime>&) override {}
  Async<void> selectTrack(std::optional<std::uint8_t>, platform::CMMediaType) override { co_return; }

 private:
  template <class T>
  Async<T> inspectBody(std::function<T(CompositeStream&)> read) {
    co_return read(*this);
  }
  Async<void> change(std::function<void(OutgoingStream&)> body) {
    body(*outgoing_);
    co_return;
  }

  std::shared_ptr<IncomingStream> incoming_;
  std::shared_ptr<OutgoingStream> outgoing_ = OutgoingStream::make();
  std::vector<std::shared_ptr<StreamOutput>> outputs_;
  std::shared_ptr<StreamBitRateStrategy> bitRateStrategy_;
};

// Every instance equals every other, so only identity tells them apart.
class EqualOutput final : public StreamOutput {
 public:
  void stream(StreamConvertible&, const std::shared_ptr<platform::AVAudioBuffer>&,
              const std::shared_ptr<platform::AVAudioTime>&) override {}
  void stream(StreamConvertible&, const platform::CMSampleBuffer&) override {}
  friend bool operator==(const EqualOutput&, const EqualOutput&) { return true; }
};

class FixedStrategy final : public StreamBitRateStrategy {
 public:
  std::int64_t mamimumVideoBitRate() const noexcept override { return 2'200'000; }
  std::int64_t mamimumAudioBitRate() const noexcept override { return 128'000; }
  Async<void> adjustBitrate(NetworkMonitorEvent, std::shared_ptr<StreamConvertible>) override { co_return; }
};

std::shared_ptr<AudioPlayer> makeSilentPlayer() {
  const auto device = platform::NullAudioDevice::make(platform::AVAudioFormat::makeStandard(48'000, 2), 480,
                                                      platform::NullAudioDevice::Clock::manual);
  return AudioPlayer::make(platform::AVAudioEngine::make(device));
}

using Outputs = std::vector<std::shared_ptr<StreamOutput>>;

TEST(StreamCompositionTests, OutputsAreKeptOncePerObjectAndRemovedByIdentity) {
  const auto stream = CompositeStream::make();
  const auto first = std::make_shared<EqualOutput>();
  const auto twin = std::make_shared<EqualOutput>();
  const auto stranger = std::make_shared<EqualOutput>();
  const auto outputs = [&] { return stream->inspect<Outputs>([](CompositeStream& s) { return s.outputs(); }); };

  blockOn(stream->addOutput(first));
  blockOn(stream->addOutput(first));
  blockOn(stream->addOutput(twin));
  blockOn(stream->addOutput(nullptr));
  EXPECT_EQ(outputs(), (Outputs{first, twin}));

  blockOn(stream->removeOutput(stranger));
  EXPECT_EQ(outputs(), (Outputs{first, twin}));
  blockOn(stream->removeOutput(first));
  EXPECT_EQ(outputs(), (Outputs{twin}));
}

TEST(StreamCompositionTests, SettingsBoundAndStrategyGoToTheOutgoingHalfAndTheStream) {
  const auto stream = CompositeStream::make();
  EXPECT_EQ(blockOn(stream->audioSettings()).bitRate, AudioCodecSettings::defaultBitRate);

  auto video = blockOn(stream->videoSettings());
  video.videoSize = {1280, 720};
  video.bitRate = 2'200'000;
  blockOn(stream->setVideoSettings(video));
  const auto read = blockOn(stream->videoSettings());
  EXPECT_EQ(read.bitRate, 2'200'000);
  EXPECT_EQ(read.videoSize.width, 1280);

  blockOn(stream->setVideoInputBufferCounts(3));
  EXPECT_EQ(stream->inspect<int>([](CompositeStream& s) { return s.outgoing().videoInputBufferCounts(); }), 3);

  using Strategy = std::shared_ptr<StreamBitRateStrategy>;
  const auto strategy = std::make_shared<FixedStrategy>();
  blockOn(stream->setBitRateStrategy(strategy));
  EXPECT_EQ(stream->inspect<Strategy>([](CompositeStream& s) { return s.bitRateStrategy(); }), strategy);
  blockOn(stream->setBitRateStrategy(nullptr));
  EXPECT_EQ(stream->inspect<Strategy>([](CompositeStream& s) { return s.bitRateStrategy(); }), nullptr);
}

TEST(StreamCompositionTests, SoundTransformFollowsTheAttachedPlayerAndReadsBackWhatWasSet) {
  const auto stream = CompositeStream::make();
  // No player node: nothing to read, and setting is a silent no-op.
  EXPECT_EQ(blockOn(stream->soundTransform()), std::nullopt);
  blockOn(stream->setSoundTransform({0.5f, 0.5f}));
  EXPECT_EQ(blockOn(stream->soundTransform()), std::nullopt);

  blockOn(stream->attachAudioPlayer(makeSilentPlayer()));
  EXPECT_EQ(blockOn(stream->soundTransform()), SoundTransform());
  const SoundTransform quietLeft{0.25f, -1.0f};
  blockOn(stream->setSoundTransform(quietLeft));
  EXPECT_EQ(blockOn(stream->soundTransform()), quietLeft);

  // A new player brings a fresh node; detaching leaves none.
  blockOn(stream->attachAudioPlayer(makeSilentPlayer()));
  EXPECT_EQ(blockOn(stream->soundTransform()), SoundTransform());
  blockOn(stream->attachAudioPlayer(nullptr));
  EXPECT_EQ(blockOn(stream->soundTransform()), std::nullopt);
}

TEST(SoundTransformTests, DescribesItsFields) {
  EXPECT_EQ(SoundTransform().debugDescription(), "SoundTransform{volume: 1.0,pan: 0.0}");
  EXPECT_EQ((SoundTransform{0.25f, -1.0f}).debugDescription(), "SoundTransform{volume: 0.25,pan: -1.0}");
}

}  // namespace
}  // namespace fluvio
