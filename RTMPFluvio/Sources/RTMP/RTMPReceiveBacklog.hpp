#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace rtmpfluvio {

// Counts the received stream messages that a connection has handed to its
// streams and that they have not finished with yet (media waiting for the
// decoder, above all). While the count is at the pause mark the socket reads
// no more, so TCP flow control slows the server instead of our memory
// growing; it reads again once the count has fallen to half the mark.
// Thread-safe: the connection takes on its strand, streams give back on theirs.
class RTMPReceiveBacklog {
 public:
  // Bytes held at which reading pauses.
  static constexpr std::size_t kPauseBytes = 2 * 1024 * 1024;
  // What every message costs beyond its payload, so that a flood of tiny
  // messages is bounded too.
  static constexpr std::size_t kMessageCost = 256;

  // One message's share; gives it back when the last copy goes.
  class Hold {
   public:
    Hold() = default;
    // The bytes this share counts; 0 for an empty hold.
    std::size_t bytes() const noexcept;

   private:
    friend class RTMPReceiveBacklog;
    struct Share;
    explicit Hold(std::shared_ptr<Share> share) : share_(std::move(share)) {}
    std::shared_ptr<Share> share_;
  };

  // `resumed` is called, on the giving thread, each time the count falls from
  // the pause mark to half of it.
  explicit RTMPReceiveBacklog(std::size_t pauseBytes = kPauseBytes);

  void setResumed(std::function<void()> resumed);
  // Counts a message of `payloadBytes` until the returned hold goes.
  Hold take(std::size_t payloadBytes);
  // False while the count is at the pause mark and has not yet fallen back to half of it.
  bool admitsMore() const;
  std::size_t heldBytes() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace rtmpfluvio
