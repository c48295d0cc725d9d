#include "Platform/VideoToolbox/VTFrameClock.hpp"

#include <algorithm>
#include <utility>

namespace platform {
namespace {

constexpr double defaultFrameRate = 30;
constexpr int defaultKeyFrameInterval = 250;
constexpr double timeTolerance = 1e-6;

}  // namespace

std::int64_t VTFrameClock::timeStampOf(const CMTime& presentationTimeStamp) {
  std::int64_t timeStamp = lastTimeStamp_ ? *lastTimeStamp_ + ticksPerSecond / 30 : 0;
  if (presentationTimeStamp.isValid()) timeStamp = presentationTimeStamp.convertScale(ticksPerSecond).value;
  // A frame out of order is moved just after the last.
  if (lastTimeStamp_ && timeStamp <= *lastTimeStamp_) timeStamp = *lastTimeStamp_ + 1;
  lastTimeStamp_ = timeStamp;
  return timeStamp;
}

bool VTFrameClock::needsKeyFrame(const CMTime& presentationTimeStamp, const CMTime& duration,
                                 std::optional<double> maxKeyFrameIntervalDuration) {
  if (std::exchange(keyFrameRequested_, false) || !lastKeyFrameSeconds_) return true;
  if (!maxKeyFrameIntervalDuration || !presentationTimeStamp.isValid()) return false;
  const double limit = *maxKeyFrameIntervalDuration;
  if (limit <= 0) return false;
  const double gap = presentationTimeStamp.seconds() - *lastKeyFrameSeconds_;
  const double period = duration.isValid() ? duration.seconds() : 0;
  if (period > 0) return gap + period > limit + timeTolerance;
  return gap >= limit - timeTolerance;
}

void VTFrameClock::keyFrameAt(const CMTime& presentationTimeStamp) {
  const double seconds = presentationTimeStamp.seconds();
  if (!lastKeyFrameSeconds_ || seconds > *lastKeyFrameSeconds_) lastKeyFrameSeconds_ = seconds;
}

double frameRate(const VTEncoderConfiguration& configuration) {
  return configuration.expectedFrameRate > 0 ? configuration.expectedFrameRate : defaultFrameRate;
}

int keyFrameInterval(const VTEncoderConfiguration& configuration) {
  if (configuration.maxKeyFrameInterval) {
    return static_cast<int>(std::clamp<std::int64_t>(*configuration.maxKeyFrameInterval, 1, 100000));
  }
  if (configuration.maxKeyFrameIntervalDuration) {
    return std::clamp(static_cast<int>(*configuration.maxKeyFrameIntervalDuration * frameRate(configuration)), 1, 100000);
  }
  return defaultKeyFrameInterval;
}

}  // namespace platform
