#include "Fluvio/Sources/Util/AudioTime.hpp"

#include <optional>

#include "Fluvio/Sources/Util/SampleTime.hpp"
#include "Platform/CoreMedia/HostClock.hpp"

namespace fluvio {

namespace {

// Host ticks are nanoseconds: a time with timescale 1e9 is already one.
std::optional<std::uint64_t> hostTime(const platform::CMTime& time) {
  const auto ticks = makeSampleTime(time, platform::HostClock::ticksPerSecond);
  if (!ticks || *ticks < 0) return std::nullopt;
  return static_cast<std::uint64_t>(*ticks);
}

}  // namespace

std::shared_ptr<platform::AVAudioTime> AudioTime::at() const {
  auto time = platform::AVAudioTime::make(sampleTime_, sampleRate_);
  if (anchorTime_) {
    if (auto extrapolated = time->extrapolateTime(*anchorTime_)) return extrapolated;
  }
  return time;
}

void AudioTime::anchor(const platform::CMTime& time, double sampleRate) {
  if (hasAnchor()) return;
  const auto sampleTime = makeSampleTime(time, sampleRate);
  const auto host = hostTime(time);
  if (!sampleTime || !host) return;
  sampleRate_ = sampleRate;
  sampleTime_ = *sampleTime;
  anchorTime_ = platform::AVAudioTime::make(*host, sampleTime_, sampleRate_);
}

void AudioTime::anchor(std::shared_ptr<platform::AVAudioTime> time) {
  if (hasAnchor() || !time) return;
  sampleRate_ = time->sampleRate();
  sampleTime_ = time->sampleTime();
  anchorTime_ = std::move(time);
}

void AudioTime::reset() noexcept {
  sampleRate_ = 0;
  anchorTime_.reset();
  sampleTime_ = 0;
}

}  // namespace fluvio
