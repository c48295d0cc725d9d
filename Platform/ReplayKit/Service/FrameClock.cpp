#include "Platform/ReplayKit/Service/FrameClock.hpp"

#include <algorithm>
#include <chrono>
#include <utility>

#include "Platform/CoreMedia/HostClock.hpp"

namespace platform::broadcastservice {
namespace {

// The host clock is CLOCK_MONOTONIC, which is also what steady_clock reads.
std::chrono::steady_clock::time_point steadyTime(std::uint64_t hostTime) {
  return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(hostTime));
}

}  // namespace

FrameClock::FrameClock(int ticksPerSecond, std::uint64_t startHostTime, std::optional<std::uint64_t> endHostTime,
                       Work work)
    : ticksPerSecond_(ticksPerSecond), start_(startHostTime), end_(endHostTime), work_(std::move(work)) {
  worker_ = std::thread([this] { runWorker(); });
  clock_ = std::thread([this] { runClock(); });
}

FrameClock::~FrameClock() { stop(); }

void FrameClock::stop() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (clock_.joinable()) clock_.join();
  if (worker_.joinable()) worker_.join();
}

std::uint64_t FrameClock::tickTime(std::uint64_t index) const noexcept {
  const auto perSecond = static_cast<std::uint64_t>(ticksPerSecond_);
  return start_ + index / perSecond * HostClock::ticksPerSecond +
         index % perSecond * HostClock::ticksPerSecond / perSecond;
}

void FrameClock::runClock() {
  const std::uint64_t period = HostClock::ticksPerSecond / ticksPerSecond_;
  std::unique_lock lock(mutex_);
  for (std::uint64_t index = 0;; ++index) {
    const std::uint64_t due = tickTime(index);
    if (end_ && due >= *end_) return;
    if (wake_.wait_until(lock, steadyTime(due), [this] { return stopping_; })) {
      dropTicksDueBeforeStop(index);
      return;
    }
    if (HostClock::now() > due + period || busy_) {
      ++dropped_;
      continue;
    }
    busy_ = true;
    pending_ = Tick{due, index};
    wake_.notify_all();
  }
}

void FrameClock::dropTicksDueBeforeStop(std::uint64_t index) {
  // A clock behind schedule when stopped still owes the ticks already due:
  // they count as dropped, so worked and dropped add up to the ticks due.
  const std::uint64_t now = HostClock::now();
  const std::uint64_t limit = end_ ? std::min(*end_, now) : now;
  for (; tickTime(index) < limit; ++index) ++dropped_;
}

void FrameClock::runWorker() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || pending_; });
    if (stopping_) {
      // A tick handed over but never worked is lost like any other.
      if (pending_) ++dropped_;
      return;
    }
    const Tick tick = *std::exchange(pending_, std::nullopt);
    lock.unlock();
    if (!work_(tick.hostTime, tick.index)) ++dropped_;
    lock.lock();
    busy_ = false;
  }
}

}  // namespace platform::broadcastservice
