#pragma once

#include <cstdint>

#include "Fluvio/Sources/Network/NetworkMonitorEvent.hpp"
#include "Platform/Concurrency/Executor.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPChunkType.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPReceiveBacklog.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPReceivedMessage.hpp"

namespace rtmpfluvio {

// What a connection tells each stream registered with it. The `didReceive`
// members are called from the connection's strand in the order the messages
// and events arrived; each takes its item over and returns at once.
class RTMPConnectionListener {
 public:
  virtual ~RTMPConnectionListener() = default;

  // The message stream id the server gave this stream; 0 until it has one.
  // Messages and user control events for a non-zero id reach the stream.
  virtual std::uint32_t messageStreamId() const noexcept = 0;

  // A message on the stream's message stream, with its first chunk's type.
  // The connection reads on only while the holds of what its streams still
  // keep add up to less than its backlog's bound: a stream keeps `hold` until
  // it is done with the message (its media decoded), and drops it at once
  // when it has no use for it.
  virtual void didReceive(const RTMPReceivedMessage& message, RTMPChunkType type, RTMPReceiveBacklog::Hold hold) = 0;
  // A user control event whose value is the stream's id.
  virtual void didReceive(const RTMPUserControlMessage& message) = 0;
  // Every network monitor event; a reset first after each successful connect.
  virtual void didReceive(const fluvio::NetworkMonitorEvent& event) = 0;
  // Awaited after each successful connect, one stream after another: the
  // stream asks the server for its message stream.
  virtual platform::Async<void> createStream() = 0;
  // Awaited when the connection closes, one stream after another: before the
  // socket goes when the close is ours, after it when the link went away (a
  // connection-level command then fails at once instead of waiting).
  virtual platform::Async<void> connectionWillClose() = 0;
};

}  // namespace rtmpfluvio
