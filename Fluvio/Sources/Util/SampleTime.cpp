#include "Fluvio/Sources/Util/SampleTime.hpp"

#include <cmath>
#include <cstdint>
#include <limits>

namespace fluvio {

namespace {
__extension__ using Wide = __int128;
}  // namespace

bool isValidSampleRate(double sampleRate) {
  return sampleRate > 0 && sampleRate <= std::numeric_limits<std::int32_t>::max();
}

std::optional<platform::AVAudioFramePosition> makeSampleTime(const platform::CMTime& time, double sampleRate) {
  if (!time.isValid() || !isValidSampleRate(sampleRate)) return std::nullopt;
  const auto wholeRate = static_cast<std::int32_t>(sampleRate);
  if (time.timescale == wholeRate) return time.value;

  Wide position;
  if (wholeRate == sampleRate) {
    position = static_cast<Wide>(time.value) * wholeRate / time.timescale;
  } else {
    const long double exact = static_cast<long double>(time.value) * sampleRate / time.timescale;
    if (std::fabs(exact) >= 0x1p63L) return std::nullopt;
    position = static_cast<Wide>(exact);
  }
  if (position > std::numeric_limits<platform::AVAudioFramePosition>::max() ||
      position < std::numeric_limits<platform::AVAudioFramePosition>::min()) {
    return std::nullopt;
  }
  return static_cast<platform::AVAudioFramePosition>(position);
}

}  // namespace fluvio
