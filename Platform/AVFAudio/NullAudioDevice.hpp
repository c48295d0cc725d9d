#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "Platform/AVFAudio/AVAudioFormat.hpp"
#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"
#include "Platform/AVFAudio/AudioOutputDevice.hpp"
#include "Platform/AVFAudio/AudioRenderThread.hpp"

namespace platform {

// An output without a sound card: renders periods on a virtual clock and
// hands each rendered period to an optional sink. The clock runs in real time
// on a steady timer, or only when advance() is called (for tests).
class NullAudioDevice final : public AudioOutputDevice {
 public:
  enum class Clock { realTime, manual };
  using Sink = std::function<void(const AVAudioPCMBuffer& period)>;

  // Nothing for a format that is not linear PCM or no frames per period.
  static std::shared_ptr<NullAudioDevice> make(std::shared_ptr<AVAudioFormat> format, AVAudioFrameCount framesPerPeriod,
                                               Clock clock, Sink sink = {});
  ~NullAudioDevice() override;

  const std::shared_ptr<AVAudioFormat>& format() const noexcept override { return format_; }
  AVAudioFrameCount framesPerPeriod() const noexcept { return period_->frameCapacity(); }
  bool start(RenderBlock render) override;
  void stop() override;

  // Manual clock: renders `periods` periods now, on the calling thread (one
  // caller at a time); a stop meanwhile ends it after the period in progress.
  // Nothing while stopped or on the real-time clock.
  void advance(std::size_t periods);
  // Periods rendered since the device was made.
  std::uint64_t renderedPeriods() const;

 private:
  NullAudioDevice(std::shared_ptr<AVAudioFormat> format, std::shared_ptr<AVAudioPCMBuffer> period, Clock clock,
                  Sink sink);

  // Renders one period at `hostTime`; false when stopped.
  bool renderPeriod(std::uint64_t hostTime);
  std::uint64_t virtualHostTime() const;

  std::shared_ptr<AVAudioFormat> format_;
  std::shared_ptr<AVAudioPCMBuffer> period_;
  Clock clock_;
  Sink sink_;

  mutable std::mutex mutex_;
  std::shared_ptr<const RenderBlock> render_;
  bool running_ = false;
  std::uint64_t renderedPeriods_ = 0;
  std::uint64_t startHostTime_ = 0;
  std::uint64_t periodsAtStart_ = 0;
  AudioRenderThread thread_;
};

}  // namespace platform
