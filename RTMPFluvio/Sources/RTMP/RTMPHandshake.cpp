#include "RTMPFluvio/Sources/RTMP/RTMPHandshake.hpp"

#include <chrono>
#include <random>

#include "RTMPFluvio/Sources/RTMP/BigEndian.hpp"

namespace rtmpfluvio {
namespace {

constexpr std::size_t kTimeAndZeroSize = 8;

}  // namespace

RTMPHandshake::Bytes RTMPHandshake::c0c1packet() const {
  Bytes packet;
  packet.reserve(kC0C1Size);
  packet.push_back(kVersion);
  appendBigEndian(packet, static_cast<std::uint32_t>(static_cast<std::int64_t>(timestamp_)), 4);
  appendBigEndian(packet, 0, 4);
  std::random_device source;
  while (packet.size() < kC0C1Size) packet.push_back(static_cast<std::uint8_t>(source()));
  return packet;
}

RTMPHandshake::Bytes RTMPHandshake::c2packet() const {
  Bytes packet;
  packet.reserve(kC2Size);
  // S1's time field, then our time since C1, modulo 2^32 like every RTMP time.
  packet.insert(packet.end(), buffer_.begin() + 1, buffer_.begin() + 5);
  const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  const auto elapsed = static_cast<std::int64_t>(now) - static_cast<std::int64_t>(timestamp_);
  appendBigEndian(packet, static_cast<std::uint32_t>(static_cast<std::uint64_t>(elapsed)), 4);
  packet.insert(packet.end(), buffer_.begin() + 1 + kTimeAndZeroSize, buffer_.begin() + kC0C1Size);
  return packet;
}

RTMPHandshake::Progress RTMPHandshake::receive(std::span<const std::uint8_t> bytes) {
  Progress progress;
  if (state_ == State::done) {
    progress.rest.assign(bytes.begin(), bytes.end());
    return progress;
  }
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
  if (state_ == State::waitingForS0S1 && buffer_.size() >= kC0C1Size) {
    progress.c2 = c2packet();
    buffer_.erase(buffer_.begin(), buffer_.begin() + kC0C1Size);
    state_ = State::waitingForS2;
  }
  if (state_ == State::waitingForS2 && buffer_.size() >= kC2Size) {
    state_ = State::done;
    progress.done = true;
    progress.rest.assign(buffer_.begin() + kC2Size, buffer_.end());
    buffer_.clear();
    buffer_.shrink_to_fit();
  }
  return progress;
}

void RTMPHandshake::clear() {
  state_ = State::waitingForS0S1;
  timestamp_ = 0;
  buffer_.clear();
}

}  // namespace rtmpfluvio
