#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace rtmpfluvio {

// The client side of the plain handshake: C0 and C1 out, S0 and S1 in, C2 out
// (echoing S1), S2 in. The server's bytes may arrive in any pieces; what
// follows S2 belongs to the chunk stream.
class RTMPHandshake {
 public:
  using Bytes = std::vector<std::uint8_t>;

  static constexpr std::size_t kC0C1Size = 1537;
  static constexpr std::size_t kC2Size = 1536;
  static constexpr std::uint8_t kVersion = 3;

  // What one received block brought about.
  struct Progress {
    // Ready to send as soon as S0 and S1 are complete.
    std::optional<Bytes> c2;
    bool done = false;
    // Bytes after S2, for the chunk reader.
    Bytes rest;
  };

  // C0 and C1: version 3, the time field, four zero bytes, random bytes.
  Bytes c0c1packet() const;
  Progress receive(std::span<const std::uint8_t> bytes);
  // Forgets what was received; the time field starts again from 0.
  void clear();

  bool isDone() const noexcept { return state_ == State::done; }

 private:
  enum class State { waitingForS0S1, waitingForS2, done };

  Bytes c2packet() const;

  State state_ = State::waitingForS0S1;
  // Seconds; the C1 time field and the base of C2's.
  double timestamp_ = 0;
  Bytes buffer_;
};

}  // namespace rtmpfluvio
