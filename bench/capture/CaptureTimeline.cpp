#include "bench/capture/CaptureTimeline.hpp"

#include <algorithm>

namespace capturebench {

CaptureTimeline::CaptureTimeline(std::size_t capacity) { times_.reserve(capacity); }

bool CaptureTimeline::note(std::uint64_t hostTime) {
  if (times_.size() == times_.capacity() || (!times_.empty() && hostTime <= times_.back())) return false;
  times_.push_back(hostTime);
  return true;
}

std::optional<std::uint64_t> CaptureTimeline::captureTimeOf(std::uint32_t timestamp) const {
  if (times_.empty()) return std::nullopt;
  const std::uint64_t target = times_.front() + std::uint64_t{timestamp} * 1'000'000;
  const auto after = std::lower_bound(times_.begin(), times_.end(), target);
  const auto distance = [target](std::uint64_t time) { return time > target ? time - target : target - time; };
  auto nearest = after;
  if (after == times_.end() || (after != times_.begin() && distance(*(after - 1)) < distance(*after))) {
    nearest = after - 1;
  }
  if (distance(*nearest) > tolerance) return std::nullopt;
  return *nearest;
}

std::vector<double> CaptureTimeline::latencies(const std::vector<VideoArrival>& arrivals,
                                               std::size_t& unmatched) const {
  std::vector<double> milliseconds;
  unmatched = 0;
  for (const auto& arrival : arrivals) {
    const auto captured = captureTimeOf(arrival.timestamp);
    if (!captured) {
      ++unmatched;
      continue;
    }
    milliseconds.push_back((static_cast<double>(arrival.hostTime) - static_cast<double>(*captured)) / 1e6);
  }
  return milliseconds;
}

}  // namespace capturebench
