#pragma once

#include <atomic>
#include <cstdint>

#include "Fluvio/Sources/Network/NetworkMonitorEvent.hpp"
#include "Platform/Concurrency/Actor.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkType.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPReceivedMessage.hpp"

namespace rtmpfluvio {

// What a connection needs of each stream registered with it. The connection
// calls the `dispatch` members on the stream's strand, one at a time and in
// the order the messages and events arrived; a stream that must wait for
// something starts a task of its own.
class RTMPConnectionStream : public platform::Actor {
 public:
  using platform::Actor::Actor;

  // The message stream id the server gave this stream; 0 until it has one.
  // Messages and user control events for a non-zero id reach the stream.
  std::uint32_t id() const noexcept { return id_.load(std::memory_order_acquire); }

  // A message on the stream's message stream, with its first chunk's type.
  virtual void dispatch(const RTMPReceivedMessage& message, RTMPChunkType type) = 0;
  // A user control event whose value is the stream's id.
  virtual void dispatch(const RTMPUserControlMessage& message) = 0;
  // Every network monitor event; a reset first after each successful connect.
  virtual void dispatch(const fluvio::NetworkMonitorEvent& event) = 0;
  // Awaited after each successful connect, one stream after another: the
  // stream asks the server for its message stream (the connection's `call`).
  virtual platform::Async<void> createStream() = 0;
  // Awaited when the connection closes, one stream after another: before the
  // socket goes when the close is ours, after it when the link went away (the
  // connection's `call` then fails at once instead of waiting for a reply).
  virtual platform::Async<void> connectionWillClose() = 0;

 protected:
  void setId(std::uint32_t id) noexcept { id_.store(id, std::memory_order_release); }

 private:
  std::atomic<std::uint32_t> id_{0};
};

}  // namespace rtmpfluvio
