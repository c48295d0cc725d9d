#pragma once

#include <cstdint>

#include "Platform/ReplayKit/Service/ScreenSource.hpp"

namespace platform::broadcastservice {

// The synthetic sources' schedule, counted from one shared host time: once
// a second the picture flashes white and the app audio beeps, both starting
// at the same instant, so a recording shows whether picture and sound stay
// together.
struct SyntheticSignal {
  static constexpr int framesPerSecond = screenFramesPerSecond;
  static constexpr int sampleRate = 48'000;
  static constexpr int beepSamples = sampleRate / 20;  // 50 ms
  static constexpr double toneFrequency = 440;
  static constexpr double toneLevel = 0.05;
  static constexpr double beepFrequency = 1'000;
  static constexpr double beepLevel = 0.5;
  static constexpr double microphoneFrequency = 300;
  static constexpr double microphoneLevel = 0.02;

  static bool isFlash(std::uint64_t frameIndex) noexcept { return frameIndex % framesPerSecond == 0; }
  static bool isBeep(std::uint64_t sampleIndex) noexcept { return sampleIndex % sampleRate < beepSamples; }
  // The app audio at a sample: a quiet tone with the beep over it.
  static std::int16_t appSample(std::uint64_t sampleIndex) noexcept;
  static std::int16_t microphoneSample(std::uint64_t sampleIndex) noexcept;
};

}  // namespace platform::broadcastservice
