#include "Platform/AVFAudio/AVAudioTime.hpp"

#include <cmath>
#include <limits>
#include <optional>

#include "Platform/Concurrency/BlockPool.hpp"
#include "Platform/CoreMedia/HostClock.hpp"

namespace platform {
namespace {

__extension__ using Wide = __int128;

constexpr double nanosecondsPerSecond = HostClock::ticksPerSecond;

bool isUsableRate(double rate) noexcept { return std::isfinite(rate) && rate > 0; }

// Whole rates (every real sample rate) take the exact integer path.
std::optional<std::int64_t> wholeNumber(double value) noexcept {
  if (value != std::floor(value) || value > 9007199254740992.0) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(value);
}

Wide dividedRounded(Wide numerator, Wide denominator) noexcept {
  const Wide half = denominator / 2;
  return numerator >= 0 ? (numerator + half) / denominator : (numerator - half) / denominator;
}

// value × numerator ÷ denominator, rounded half away from zero; nothing when
// the result leaves the 64-bit range.
std::optional<std::int64_t> rescaled(Wide value, double numerator, double denominator) noexcept {
  Wide result;
  const auto wholeNumerator = wholeNumber(numerator);
  const auto wholeDenominator = wholeNumber(denominator);
  if (wholeNumerator && wholeDenominator) {
    result = dividedRounded(value * *wholeNumerator, *wholeDenominator);
  } else {
    const long double scaled = static_cast<long double>(value) * numerator / denominator;
    if (!(std::fabs(scaled) < 9.2e18L)) {
      return std::nullopt;
    }
    result = std::llround(scaled);
  }
  if (result > std::numeric_limits<std::int64_t>::max() || result < std::numeric_limits<std::int64_t>::min()) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(result);
}

}  // namespace

AVAudioTime::AVAudioTime(Key, std::uint64_t hostTime, bool hostTimeValid, AVAudioFramePosition sampleTime,
                         double sampleRate, bool sampleTimeValid)
    : hostTime_(hostTime),
      hostTimeValid_(hostTimeValid),
      sampleTime_(sampleTime),
      sampleRate_(sampleRate),
      sampleTimeValid_(sampleTimeValid) {}

std::shared_ptr<AVAudioTime> AVAudioTime::make(std::uint64_t hostTime) {
  return detail::makePooled<AVAudioTime>(Key(), hostTime, true, 0, 0, false);
}

std::shared_ptr<AVAudioTime> AVAudioTime::make(AVAudioFramePosition sampleTime, double sampleRate) {
  return detail::makePooled<AVAudioTime>(Key(), 0, false, sampleTime, sampleRate, true);
}

std::shared_ptr<AVAudioTime> AVAudioTime::make(std::uint64_t hostTime, AVAudioFramePosition sampleTime,
                                               double sampleRate) {
  return detail::makePooled<AVAudioTime>(Key(), hostTime, true, sampleTime, sampleRate, true);
}

std::shared_ptr<AVAudioTime> AVAudioTime::extrapolateTime(const AVAudioTime& anchor) const {
  if (!anchor.hostTimeValid_ || !anchor.sampleTimeValid_ || !isUsableRate(anchor.sampleRate_)) {
    return nullptr;
  }
  if (hostTimeValid_ && sampleTimeValid_) {
    return make(hostTime_, sampleTime_, sampleRate_);
  }
  if (sampleTimeValid_) {
    if (!isUsableRate(sampleRate_)) {
      return nullptr;
    }
    const auto atAnchorRate = rescaled(sampleTime_, anchor.sampleRate_, sampleRate_);
    if (!atAnchorRate) {
      return nullptr;
    }
    const auto offset = rescaled(Wide{*atAnchorRate} - anchor.sampleTime_, nanosecondsPerSecond, anchor.sampleRate_);
    if (!offset) {
      return nullptr;
    }
    const Wide hostTime = Wide{anchor.hostTime_} + *offset;
    if (hostTime < 0 || hostTime > Wide{std::numeric_limits<std::uint64_t>::max()}) {
      return nullptr;
    }
    return make(static_cast<std::uint64_t>(hostTime), sampleTime_, sampleRate_);
  }
  if (hostTimeValid_) {
    const double rate = isUsableRate(sampleRate_) ? sampleRate_ : anchor.sampleRate_;
    const auto offset = rescaled(Wide{hostTime_} - Wide{anchor.hostTime_}, anchor.sampleRate_, nanosecondsPerSecond);
    if (!offset) {
      return nullptr;
    }
    const auto sampleTime = rescaled(Wide{anchor.sampleTime_} + *offset, rate, anchor.sampleRate_);
    if (!sampleTime) {
      return nullptr;
    }
    return make(hostTime_, *sampleTime, rate);
  }
  return nullptr;
}

std::uint64_t AVAudioTime::hostTime(double seconds) noexcept { return HostClock::hostTime(seconds); }

double AVAudioTime::seconds(std::uint64_t hostTime) noexcept { return HostClock::seconds(hostTime); }

}  // namespace platform
