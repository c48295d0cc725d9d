#pragma once

#include <optional>

#include "Platform/AVFAudio/AVAudioTypes.hpp"
#include "Platform/CoreMedia/CMTime.hpp"

namespace fluvio {

// True for a positive rate that fits a 32-bit integer.
bool isValidSampleRate(double sampleRate);

// The sample position of `time` at `sampleRate`, truncated toward zero: the
// value itself when the timescale is that rate, else rate x value / timescale
// computed without intermediate overflow, so nanosecond times after days of
// uptime convert exactly. Nothing for an invalid time or rate, or a position
// beyond 64 bits.
std::optional<platform::AVAudioFramePosition> makeSampleTime(const platform::CMTime& time, double sampleRate);

}  // namespace fluvio
