#include "Tracepost/Sources/LineQueue.hpp"

#include <utility>

namespace tracepost {

bool LineQueue::push(std::vector<std::uint8_t> line) {
  bytes_ += line.size();
  lines_.push_back(std::move(line));
  bool began = false;
  while (lines_.size() > 1 && (lines_.size() > maxLines_ || bytes_ > maxBytes_)) {
    bytes_ -= lines_.front().size();
    lines_.pop_front();
    ++dropped_;
    began = began || !std::exchange(stalled_, true);
  }
  return began;
}

std::optional<std::vector<std::uint8_t>> LineQueue::pop() {
  if (lines_.empty()) {
    stalled_ = false;
    return std::nullopt;
  }
  std::optional<std::vector<std::uint8_t>> line(std::move(lines_.front()));
  lines_.pop_front();
  bytes_ -= line->size();
  return line;
}

void LineQueue::clear() {
  lines_.clear();
  bytes_ = 0;
  stalled_ = false;
}

}  // namespace tracepost
