#include "bench/capture/LoopbackIngest.hpp"

#include "Platform/CoreMedia/HostClock.hpp"
#include "bench/AllocationCounter.hpp"

namespace capturebench {
namespace {

constexpr std::uint8_t enhancedBit = 0x80;
constexpr std::uint8_t legacyAVC = 7;

// A picture, not a sequence header or an end of sequence: H.264 NAL units in
// the legacy form, coded frames (with or without composition time) in the
// enhanced one.
bool isCodedFrame(const rtmpfluvio::RTMPVideoMessage& message) {
  const auto& payload = message.payload();
  if (payload.empty()) return false;
  if (payload[0] & enhancedBit) {
    const int packetType = payload[0] & 0x0F;
    return packetType == 1 || packetType == 3;
  }
  return (payload[0] & 0x0F) == legacyAVC && payload.size() > 1 && payload[1] == 1;
}

}  // namespace

LoopbackIngest::LoopbackIngest(std::size_t capacity) {
  arrivals_.reserve(capacity);
  thread_ = std::thread([this] { serve(); });
}

LoopbackIngest::~LoopbackIngest() {
  if (thread_.joinable()) thread_.join();
}

void LoopbackIngest::serve() {
  bench::leaveAllocationCount();
  try {
    server_.accept();
    server_.servePublisher([this](const rtmpfluvio::RTMPReceivedMessage& message) {
      const auto now = platform::HostClock::now();
      const auto* video = std::get_if<rtmpfluvio::RTMPVideoMessage>(&message);
      if (!video || !isCodedFrame(*video) || arrivals_.size() == arrivals_.capacity()) return;
      arrivals_.push_back({video->timestamp(), now});
      received_.store(arrivals_.size(), std::memory_order_release);
    });
  } catch (...) {
    failure_ = std::current_exception();
  }
}

std::vector<VideoArrival> LoopbackIngest::finish() {
  thread_.join();
  if (failure_) std::rethrow_exception(failure_);
  return std::move(arrivals_);
}

}  // namespace capturebench
