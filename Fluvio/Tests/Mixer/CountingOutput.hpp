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

namespace fluvio::testing {

// An output that selects tracks and counts what it is given, by track.
class CountingOutput final : public MediaMixerOutput {
 public:
  CountingOutput(std::optional<std::uint8_t> video, std::optional<std::uint8_t> audio) : video_(video), audio_(audio) {}
  platform::Async<std::optional<std::uint8_t>> videoTrackId() override { co_return video_; }
  platform::Async<std::optional<std::uint8_t>> audioTrackId() override { co_return audio_; }
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
