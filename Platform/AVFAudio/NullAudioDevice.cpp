#include "Platform/AVFAudio/NullAudioDevice.hpp"

#include <chrono>
#include <cmath>
#include <utility>

#include "Platform/CoreMedia/HostClock.hpp"

namespace platform {

namespace {

// After a stall the real-time clock goes on from now instead of catching up
// in a burst once it lags this many periods.
constexpr int kMaximumLagPeriods = 4;

}  // namespace

std::shared_ptr<NullAudioDevice> NullAudioDevice::make(std::shared_ptr<AVAudioFormat> format,
                                                       AVAudioFrameCount framesPerPeriod, Clock clock, Sink sink) {
  if (!format || framesPerPeriod == 0) return nullptr;
  auto period = AVAudioPCMBuffer::make(format, framesPerPeriod);
  if (!period) return nullptr;
  period->setFrameLength(framesPerPeriod);
  return std::shared_ptr<NullAudioDevice>(
      new NullAudioDevice(std::move(format), std::move(period), clock, std::move(sink)));
}

NullAudioDevice::NullAudioDevice(std::shared_ptr<AVAudioFormat> format, std::shared_ptr<AVAudioPCMBuffer> period,
                                 Clock clock, Sink sink)
    : format_(std::move(format)), period_(std::move(period)), clock_(clock), sink_(std::move(sink)) {}

NullAudioDevice::~NullAudioDevice() { stop(); }

bool NullAudioDevice::start(RenderBlock render) {
  {
    std::lock_guard lock(mutex_);
    if (running_) return true;
    render_ = std::make_shared<const RenderBlock>(std::move(render));
    running_ = true;
    startHostTime_ = HostClock::now();
    periodsAtStart_ = renderedPeriods_;
  }
  if (clock_ == Clock::realTime) {
    const auto periodDuration = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(period_->frameCapacity() / format_->sampleRate()));
    thread_.start([this, periodDuration, next = std::chrono::steady_clock::now()]() mutable {
      if (!thread_.sleepUntil(next)) return false;
      next += periodDuration;
      if (std::chrono::steady_clock::now() - next > kMaximumLagPeriods * periodDuration) {
        next = std::chrono::steady_clock::now();
      }
      return renderPeriod(HostClock::now());
    });
  }
  return true;
}

void NullAudioDevice::stop() {
  {
    std::lock_guard lock(mutex_);
    running_ = false;
  }
  thread_.stop();
}

void NullAudioDevice::advance(std::size_t periods) {
  if (clock_ != Clock::manual) return;
  for (std::size_t index = 0; index < periods; ++index) {
    if (!renderPeriod(virtualHostTime())) return;
  }
}

std::uint64_t NullAudioDevice::renderedPeriods() const {
  std::lock_guard lock(mutex_);
  return renderedPeriods_;
}

std::uint64_t NullAudioDevice::virtualHostTime() const {
  std::lock_guard lock(mutex_);
  const double frames = static_cast<double>(renderedPeriods_ - periodsAtStart_) * period_->frameCapacity();
  return startHostTime_ +
         static_cast<std::uint64_t>(std::llround(frames * HostClock::ticksPerSecond / format_->sampleRate()));
}

bool NullAudioDevice::renderPeriod(std::uint64_t hostTime) {
  std::shared_ptr<const RenderBlock> render;
  {
    std::lock_guard lock(mutex_);
    if (!running_) return false;
    render = render_;
  }
  // Rendered without the lock: a render may stop the device.
  (*render)(*period_, hostTime);
  if (sink_) sink_(*period_);
  std::lock_guard lock(mutex_);
  ++renderedPeriods_;
  return true;
}

}  // namespace platform
