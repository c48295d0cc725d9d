#include "Platform/ReplayKit/Service/SyntheticSignal.hpp"

#include <cmath>
#include <numbers>

namespace platform::broadcastservice {
namespace {

std::int16_t sine(std::uint64_t sampleIndex, double frequency, double level) {
  // The phase of whole cycles is dropped first so long runs keep precision.
  const auto period = static_cast<double>(SyntheticSignal::sampleRate) / frequency;
  const double phase = std::fmod(static_cast<double>(sampleIndex), period) / period;
  return static_cast<std::int16_t>(std::lround(32767 * level * std::sin(2 * std::numbers::pi * phase)));
}

}  // namespace

std::int16_t SyntheticSignal::appSample(std::uint64_t sampleIndex) noexcept {
  if (isBeep(sampleIndex)) return sine(sampleIndex, beepFrequency, beepLevel);
  return sine(sampleIndex, toneFrequency, toneLevel);
}

std::int16_t SyntheticSignal::microphoneSample(std::uint64_t sampleIndex) noexcept {
  return sine(sampleIndex, microphoneFrequency, microphoneLevel);
}

}  // namespace platform::broadcastservice
