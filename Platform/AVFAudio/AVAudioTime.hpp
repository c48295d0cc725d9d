#pragma once

#include <cstdint>
#include <memory>

#include "Platform/AVFAudio/AVAudioTypes.hpp"

namespace platform {

// A moment of an audio stream: a host time, a sample time at a rate, or both.
// Host times are the host clock's nanoseconds. Every audio buffer on a media
// path carries one, so times come from the block pool.
class AVAudioTime {
  // Only make() constructs: the pool's shared-pointer maker needs a public
  // constructor, which this key keeps to the class.
  class Key {
    friend class AVAudioTime;
    Key() = default;
  };

 public:
  static std::shared_ptr<AVAudioTime> make(std::uint64_t hostTime);
  static std::shared_ptr<AVAudioTime> make(AVAudioFramePosition sampleTime, double sampleRate);
  static std::shared_ptr<AVAudioTime> make(std::uint64_t hostTime, AVAudioFramePosition sampleTime,
                                           double sampleRate);

  std::uint64_t hostTime() const noexcept { return hostTime_; }
  bool isHostTimeValid() const noexcept { return hostTimeValid_; }
  AVAudioFramePosition sampleTime() const noexcept { return sampleTime_; }
  // 0 for a time made from a host time alone.
  double sampleRate() const noexcept { return sampleRate_; }
  bool isSampleTimeValid() const noexcept { return sampleTimeValid_; }

  // This time with whichever of host and sample time it lacks filled in from
  // `anchor`, which must carry both and a positive rate. A sample time at
  // another rate than the anchor's is first rescaled to the anchor's rate.
  // Results are rounded to the nearest tick; nothing when either time lacks
  // what the fill needs.
  std::shared_ptr<AVAudioTime> extrapolateTime(const AVAudioTime& anchor) const;

  static std::uint64_t hostTime(double seconds) noexcept;
  static double seconds(std::uint64_t hostTime) noexcept;

  AVAudioTime(Key key, std::uint64_t hostTime, bool hostTimeValid, AVAudioFramePosition sampleTime,
              double sampleRate, bool sampleTimeValid);

 private:
  std::uint64_t hostTime_;
  bool hostTimeValid_;
  AVAudioFramePosition sampleTime_;
  double sampleRate_;
  bool sampleTimeValid_;
};

}  // namespace platform
