#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "Fluvio/Sources/Mixer/MediaMixer.hpp"
#include "Fluvio/Sources/Stream/MediaMixerOutput.hpp"
#include "Platform/Concurrency/Sleep.hpp"

namespace fluvio::testing {

// An output that selects tracks and keeps what it is given; it may be slow
// to answer which tracks it selects.
class CountingOutput final : public MediaMixerOutput {
 public:
  CountingOutput(std::optional<std::uint8_t> video, std::optional<std::uint8_t> audio,
                 std::chrono::milliseconds answerDelay = {})
      : video_(video), audio_(audio), answerDelay_(answerDelay) {}
  platform::Async<std::optional<std::uint8_t>> videoTrackId() override {
    if (answerDelay_.count() > 0) co_await platform::sleepFor(answerDelay_);
    co_return video_;
  }
  platform::Async<std::optional<std::uint8_t>> audioTrackId() override {
    if (answerDelay_.count() > 0) co_await platform::sleepFor(answerDelay_);
    co_return audio_;
  }
  void mixer(MediaMixer&, const platform::CMSampleBuffer& sampleBuffer) override {
    std::lock_guard lock(mutex_);
    frames_.push_back(sampleBuffer);
    changed_.notify_all();
  }
  void mixer(MediaMixer&, const std::shared_ptr<platform::AVAudioPCMBuffer>&,
             const std::shared_ptr<platform::AVAudioTime>&) override {
    std::lock_guard lock(mutex_);
    ++audioBlocks_;
    changed_.notify_all();
  }
  platform::Async<void> selectTrack(std::optional<std::uint8_t>, platform::CMMediaType) override { co_return; }

  bool waitFor(std::size_t frames, std::size_t audioBlocks,
               std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout,
                             [&] { return frames_.size() >= frames && audioBlocks_ >= audioBlocks; });
  }
  std::vector<platform::CMSampleBuffer> frames() const {
    std::lock_guard lock(mutex_);
    return frames_;
  }
  std::size_t audioBlocks() const {
    std::lock_guard lock(mutex_);
    return audioBlocks_;
  }

 private:
  std::optional<std::uint8_t> video_;
  std::optional<std::uint8_t> audio_;
  std::chrono::milliseconds answerDelay_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<platform::CMSampleBuffer> frames_;
  std::size_t audioBlocks_ = 0;
};

// A small BGRA frame stamped time / timescale seconds.
inline platform::CMSampleBuffer frame(std::int64_t time, std::int32_t timescale = 30) {
  auto picture = platform::CVPixelBuffer::make(64, 48, platform::kCVPixelFormatType_32BGRA).value;
  auto description = platform::CMFormatDescription::makeForImageBuffer(*picture).value;
  return *platform::CMSampleBuffer::makeReadyWithImageBuffer(
              picture, description, {platform::CMTime::make(1, 30), platform::CMTime::make(time, timescale), platform::CMTime::invalid})
              .value;
}

}  // namespace fluvio::testing
