#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace tracepost {

// The lines a socket holds for a peer that has not taken them yet, within a
// bound in lines and one in bytes: beyond them the oldest lines go, and are
// counted. The newest line always stays, whatever its size. Not synchronised.
class LineQueue {
 public:
  // What a stalled peer may make us hold: some seconds of a busy logger's
  // lines, far more than a peer that reads ever leaves waiting.
  static constexpr std::size_t defaultMaxLines = 4096;
  static constexpr std::size_t defaultMaxBytes = 1 << 20;

  explicit LineQueue(std::size_t maxLines = defaultMaxLines, std::size_t maxBytes = defaultMaxBytes)
      : maxLines_(maxLines), maxBytes_(maxBytes) {}

  // True when this push began a stall: its first drop since the queue was
  // last found empty.
  bool push(std::vector<std::uint8_t> line);
  // The oldest line; none when empty, which ends a stall.
  std::optional<std::vector<std::uint8_t>> pop();
  // Drops the waiting lines without counting them: their connection is gone.
  void clear();

  std::size_t lines() const noexcept { return lines_.size(); }
  std::size_t bytes() const noexcept { return bytes_; }
  // Lines the bounds dropped since the queue was made.
  std::uint64_t dropped() const noexcept { return dropped_; }

 private:
  std::size_t maxLines_;
  std::size_t maxBytes_;
  std::deque<std::vector<std::uint8_t>> lines_;
  std::size_t bytes_ = 0;
  std::uint64_t dropped_ = 0;
  bool stalled_ = false;
};

}  // namespace tracepost
