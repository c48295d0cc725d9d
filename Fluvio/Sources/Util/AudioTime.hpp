#pragma once

#include <memory>

#include "Platform/AVFAudio/AVAudioTime.hpp"
#include "Platform/AVFAudio/AVAudioTypes.hpp"
#include "Platform/CoreMedia/CMTime.hpp"

namespace fluvio {

// The sample clock of an audio output: anchored once to a host time, it turns
// a running sample count into audio times. Used from one context at a time.
class AudioTime {
 public:
  static std::shared_ptr<AudioTime> make() { return std::shared_ptr<AudioTime>(new AudioTime()); }

  double sampleRate() const noexcept { return sampleRate_; }
  const std::shared_ptr<platform::AVAudioTime>& anchorTime() const noexcept { return anchorTime_; }
  platform::AVAudioFramePosition sampleTime() const noexcept { return sampleTime_; }
  bool hasAnchor() const noexcept { return anchorTime_ != nullptr; }

  // The current sample time; with an anchor, its host time is filled in from
  // the anchor when the platform can.
  std::shared_ptr<platform::AVAudioTime> at() const;

  // `time` is a host-clock time. Ignored when already anchored, and for an
  // invalid or negative time or a rate that is not positive and 32-bit.
  void anchor(const platform::CMTime& time, double sampleRate);
  // Ignored when already anchored or for a null time.
  void anchor(std::shared_ptr<platform::AVAudioTime> time);

  void advanced(platform::AVAudioFramePosition count) noexcept { sampleTime_ += count; }
  void reset() noexcept;

 private:
  AudioTime() = default;

  double sampleRate_ = 0;
  std::shared_ptr<platform::AVAudioTime> anchorTime_;
  platform::AVAudioFramePosition sampleTime_ = 0;
};

}  // namespace fluvio
