#include "RTMPFluvio/Sources/RTMP/RTMPReceiveBacklog.hpp"

#include <mutex>
#include <utility>

namespace rtmpfluvio {

// Shared with every hold, which may outlive the connection.
struct RTMPReceiveBacklog::State {
  explicit State(std::size_t pauseBytes) : pauseBytes(pauseBytes) {}

  void give(std::size_t bytes) {
    std::function<void()> notify;
    {
      std::lock_guard lock(mutex);
      held -= bytes;
      if (paused && held <= pauseBytes / 2) {
        paused = false;
        notify = resumed;
      }
    }
    if (notify) notify();
  }

  const std::size_t pauseBytes;
  mutable std::mutex mutex;
  std::size_t held = 0;
  bool paused = false;
  std::function<void()> resumed;
};

struct RTMPReceiveBacklog::Hold::Share {
  Share(std::shared_ptr<State> state, std::size_t bytes) : state(std::move(state)), bytes(bytes) {}
  ~Share() { state->give(bytes); }
  Share(const Share&) = delete;
  Share& operator=(const Share&) = delete;

  const std::shared_ptr<State> state;
  const std::size_t bytes;
};

std::size_t RTMPReceiveBacklog::Hold::bytes() const noexcept { return share_ ? share_->bytes : 0; }

RTMPReceiveBacklog::RTMPReceiveBacklog(std::size_t pauseBytes)
    : state_(std::make_shared<State>(pauseBytes == 0 ? 1 : pauseBytes)) {}

void RTMPReceiveBacklog::setResumed(std::function<void()> resumed) {
  std::lock_guard lock(state_->mutex);
  state_->resumed = std::move(resumed);
}

RTMPReceiveBacklog::Hold RTMPReceiveBacklog::take(std::size_t payloadBytes) {
  const std::size_t bytes = payloadBytes + kMessageCost;
  {
    std::lock_guard lock(state_->mutex);
    state_->held += bytes;
    if (state_->held >= state_->pauseBytes) state_->paused = true;
  }
  return Hold(std::make_shared<Hold::Share>(state_, bytes));
}

bool RTMPReceiveBacklog::admitsMore() const {
  std::lock_guard lock(state_->mutex);
  return !state_->paused;
}

std::size_t RTMPReceiveBacklog::heldBytes() const {
  std::lock_guard lock(state_->mutex);
  return state_->held;
}

}  // namespace rtmpfluvio
