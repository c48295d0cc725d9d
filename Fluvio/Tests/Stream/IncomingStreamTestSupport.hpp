#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "Fluvio/Sources/Codec/AudioCodec.hpp"
#include "Fluvio/Sources/Stream/SoundTransform.hpp"
#include "Fluvio/Sources/Stream/StreamConvertible.hpp"
#include "Fluvio/Tests/Stream/StreamTestMedia.hpp"
#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/Concurrency/BlockOn.hpp"
#include "Platform/VideoToolbox/VTCompressionSession.hpp"

// An owning stream that records what an incoming stream hands back, and our
// own encoder's output to feed it with.
namespace fluvio::testing {

class RecordingStream final : public StreamConvertible {
 public:
  using StreamConvertible::StreamConvertible;
  using Audio = AudioCodec::Output;

  platform::Async<StreamReadyState> readyState() override { co_return StreamReadyState::playing; }
  platform::Async<std::optional<SoundTransform>> soundTransform() override { co_return std::nullopt; }
  platform::Async<AudioCodecSettings> audioSettings() override { co_return AudioCodecSettings(); }
  platform::Async<VideoCodecSettings> videoSettings() override { co_return VideoCodecSettings(); }
  platform::Async<void> setBitRateStrategy(std::shared_ptr<StreamBitRateStrategy>) override { co_return; }
  platform::Async<void> setAudioSettings(AudioCodecSettings) override { co_return; }
  platform::Async<void> setVideoSettings(VideoCodecSettings) override { co_return; }
  platform::Async<void> setSoundTransform(SoundTransform) override { co_return; }
  platform::Async<void> setVideoInputBufferCounts(int) override { co_return; }
  platform::Async<void> attachAudioPlayer(std::shared_ptr<AudioPlayer>) override { co_return; }
  platform::Async<void> addOutput(std::shared_ptr<StreamOutput>) override { co_return; }
  platform::Async<void> removeOutput(std::shared_ptr<StreamOutput>) override { co_return; }
  platform::Async<void> dispatch(NetworkMonitorEvent) override { co_return; }
  platform::Async<std::optional<std::uint8_t>> videoTrackId() override { co_return std::nullopt; }
  platform::Async<std::optional<std::uint8_t>> audioTrackId() override { co_return std::nullopt; }
  void mixer(MediaMixer&, const platform::CMSampleBuffer&) override {}
  void mixer(MediaMixer&, const std::shared_ptr<platform::AVAudioPCMBuffer>&,
             const std::shared_ptr<platform::AVAudioTime>&) override {}
  platform::Async<void> selectTrack(std::optional<std::uint8_t>, platform::CMMediaType) override { co_return; }

  platform::Async<void> append(platform::CMSampleBuffer sampleBuffer) override {
    return isolated(
        [this, sampleBuffer = std::move(sampleBuffer)]() mutable { return record(std::move(sampleBuffer)); });
  }
  platform::Async<void> append(std::shared_ptr<platform::AVAudioBuffer> audioBuffer,
                               std::shared_ptr<platform::AVAudioTime> when) override {
    return isolated(
        [this, audio = Audio{std::move(audioBuffer), std::move(when)}]() mutable { return record(std::move(audio)); });
  }

  std::vector<platform::CMSampleBuffer> video() const {
    std::lock_guard lock(mutex_);
    return video_;
  }
  std::vector<Audio> audio() const {
    std::lock_guard lock(mutex_);
    return audio_;
  }
  // Waits at most `timeout` for `reached` to hold of the counts received.
  bool waitFor(const std::function<bool(std::size_t video, std::size_t audio)>& reached,
               std::chrono::milliseconds timeout = std::chrono::seconds(30)) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return reached(video_.size(), audio_.size()); });
  }

 private:
  platform::Async<void> record(platform::CMSampleBuffer sampleBuffer) {
    std::lock_guard lock(mutex_);
    video_.push_back(std::move(sampleBuffer));
    changed_.notify_all();
    co_return;
  }
  platform::Async<void> record(Audio audio) {
    std::lock_guard lock(mutex_);
    audio_.push_back(std::move(audio));
    changed_.notify_all();
    co_return;
  }

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<platform::CMSampleBuffer> video_;
  std::vector<Audio> audio_;
};

inline constexpr std::int32_t kEncodedWidth = 160;
inline constexpr std::int32_t kEncodedHeight = 120;

inline platform::CMTime encodedFrameTime(int index) { return platform::CMTime::make(index, 30); }

// `count` H.264 frames, 1/30 s apart from 0, without reordering.
inline std::vector<platform::CMSampleBuffer> encodeVideo(int count) {
  auto session = platform::VTCompressionSession::make(kEncodedWidth, kEncodedHeight, platform::kCMVideoCodecType_H264,
                                                      nullptr, std::nullopt)
                     .value;
  session->setProperties({
      {std::string(platform::kVTCompressionPropertyKey_ProfileLevel),
       std::string(platform::kVTProfileLevel_H264_Baseline_3_1)},
      {std::string(platform::kVTCompressionPropertyKey_AllowFrameReordering), false},
  });
  session->prepareToEncodeFrames();
  std::mutex mutex;
  std::vector<platform::CMSampleBuffer> samples;
  for (int index = 0; index < count; ++index) {
    const auto frame = rawVideoFrame(index, encodedFrameTime(index), kEncodedWidth, kEncodedHeight,
                                     platform::kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange);
    session->encodeFrame(frame.imageBuffer(), encodedFrameTime(index), platform::CMTime::make(1, 30),
                         [&](platform::OSStatus, platform::VTEncodeInfoFlags, std::shared_ptr<platform::CMSampleBuffer> sample) {
                           std::lock_guard lock(mutex);
                           if (sample) samples.push_back(*sample);
                         });
  }
  session->completeFrames();
  session->invalidate();
  return samples;
}

// AAC packets of a 48 kHz stereo tone, `chunks` times 1,024 frames long.
inline std::vector<AudioCodec::Output> encodeTone(int chunks) {
  constexpr double kRate = 48'000;
  const auto codec = AudioCodec::make();
  codec->setSettings(AudioCodecSettings(128'000, true, std::nullopt, 0, AudioCodecFormat::aac));
  codec->startRunning();
  const auto output = codec->outputStream();
  const auto format = platform::AVAudioFormat::makeStandard(kRate, 2);
  const std::uint64_t start = platform::HostClock::now();
  for (int chunk = 0; chunk < chunks; ++chunk) {
    const std::int64_t firstFrame = std::int64_t{chunk} * 1024;
    codec->append(toneBuffer(format, 1024, firstFrame), audioTime(start, firstFrame, kRate));
  }
  codec->stopRunning();
  return platform::blockOn([output]() -> platform::Async<std::vector<AudioCodec::Output>> {
    std::vector<AudioCodec::Output> packets;
    while (auto packet = co_await output.next()) packets.push_back(std::move(*packet));
    co_return packets;
  });
}

}  // namespace fluvio::testing
