#pragma once

#include <cstdint>
#include <exception>

#include "Platform/AVFAudio/AVAudioTime.hpp"
#include "Platform/CoreMedia/CMTime.hpp"

namespace rtmpfluvio {

// Turns successive media times into the millisecond deltas that RTMP
// messages carry. Dropped fractions are carried over, so the sum of the
// deltas stays within 1 ms of the time elapsed.
class RTMPTimestamp {
 public:
  class Error : public std::exception {
   public:
    enum class Case {
      // The time did not increase.
      invalidSequence,
      // The step is 2^32 ms or more, or not finite.
      deltaOutOfRange,
    };
    explicit Error(Case errorCase) noexcept : case_(errorCase) {}
    Case errorCase() const noexcept { return case_; }
    const char* what() const noexcept override;

   private:
    Case case_;
  };

  // 0 for the first time (any finite time, 0 and negative included), then the
  // delta in milliseconds. Throws Error, changing nothing, for a time that is
  // not later than the last accepted one or too far after it.
  std::uint32_t update(double seconds);
  std::uint32_t update(const platform::CMTime& time) { return update(time.seconds()); }
  std::uint32_t update(const platform::AVAudioTime& time) { return update(platform::AVAudioTime::seconds(time.hostTime())); }

  bool hasStarted() const noexcept { return hasStarted_; }
  double startedAt() const noexcept { return startedAt_; }
  double updatedAt() const noexcept { return updatedAt_; }
  // Starts over: the next time is a first time again.
  void clear() noexcept { *this = RTMPTimestamp(); }

 private:
  bool hasStarted_ = false;
  double startedAt_ = 0;
  double updatedAt_ = 0;
  // Milliseconds not yet handed out, in [0, 1).
  double timedeltaFraction_ = 0;
};

}  // namespace rtmpfluvio
