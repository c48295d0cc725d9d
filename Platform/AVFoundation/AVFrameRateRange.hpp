#pragma once

#include <memory>

namespace platform {

// Frame rates a capture format runs at, in frames per second; a fixed rate
// has equal minimum and maximum.
class AVFrameRateRange {
 public:
  // Nothing when a bound is negative or not finite, or minimum > maximum.
  static std::shared_ptr<AVFrameRateRange> make(double minFrameRate, double maxFrameRate);

  double minFrameRate() const noexcept { return minFrameRate_; }
  double maxFrameRate() const noexcept { return maxFrameRate_; }

 private:
  AVFrameRateRange(double minFrameRate, double maxFrameRate)
      : minFrameRate_(minFrameRate), maxFrameRate_(maxFrameRate) {}

  double minFrameRate_;
  double maxFrameRate_;
};

}  // namespace platform
