#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace rtmpfluvio {

// Bounds the log lines a peer can cause: at most `lines` in each `interval`.
// Lines past that are counted, and the first line admitted after them says
// how many were left out. Safe to share between threads.
class RTMPPeerLogLimit {
 public:
  using Clock = std::chrono::steady_clock;

  class Admission {
   public:
    explicit operator bool() const noexcept { return admitted_; }
    // Lines left out since the previous admitted one.
    std::uint64_t suppressed() const noexcept { return suppressed_; }
    // "" or "(N similar lines suppressed) ", to lead the admitted line.
    std::string summary() const;

   private:
    friend class RTMPPeerLogLimit;
    Admission(bool admitted, std::uint64_t suppressed) : admitted_(admitted), suppressed_(suppressed) {}
    bool admitted_;
    std::uint64_t suppressed_;
  };

  explicit RTMPPeerLogLimit(std::size_t lines = 10, Clock::duration interval = std::chrono::seconds(10));

  // Whether a line may be logged at `now`.
  Admission admit(Clock::time_point now = Clock::now());

 private:
  const std::size_t lines_;
  const Clock::duration interval_;
  std::mutex mutex_;
  std::optional<Clock::time_point> intervalStart_;
  std::size_t admitted_ = 0;
  std::uint64_t suppressed_ = 0;
};

}  // namespace rtmpfluvio
