#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace platform::broadcastservice {

// Ticks at a fixed rate on the host clock, from a given start, and runs each
// tick's work on a worker thread. The clock never waits for the work: a tick
// that finds the worker busy, or that comes too late, is dropped and
// counted, so slow work loses frames, never time; so is a tick whose work
// reports that it had nothing to do it with. With an end, the last tick is
// the one before it.
class FrameClock {
 public:
  // False when the tick's work could not be done.
  using Work = std::function<bool(std::uint64_t hostTime, std::uint64_t index)>;

  FrameClock(int ticksPerSecond, std::uint64_t startHostTime, std::optional<std::uint64_t> endHostTime, Work work);
  ~FrameClock();
  FrameClock(const FrameClock&) = delete;
  FrameClock& operator=(const FrameClock&) = delete;

  // Returns once neither thread runs any more.
  void stop();
  std::uint64_t droppedTicks() const noexcept { return dropped_.load(); }

  // The host time of tick `index`: exact on every whole second.
  std::uint64_t tickTime(std::uint64_t index) const noexcept;

 private:
  struct Tick {
    std::uint64_t hostTime;
    std::uint64_t index;
  };

  void runClock();
  void runWorker();
  void dropTicksDueBeforeStop(std::uint64_t index);

  const int ticksPerSecond_;
  const std::uint64_t start_;
  const std::optional<std::uint64_t> end_;
  const Work work_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  bool busy_ = false;
  std::optional<Tick> pending_;
  std::atomic<std::uint64_t> dropped_ = 0;
  std::thread worker_;
  std::thread clock_;
};

}  // namespace platform::broadcastservice
