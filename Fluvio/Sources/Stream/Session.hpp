#pragma once

#include <functional>
#include <memory>

#include "Fluvio/Sources/Network/NetworkConnection.hpp"
#include "Fluvio/Sources/Stream/SessionReadyState.hpp"
#include "Fluvio/Sources/Stream/StreamConvertible.hpp"
#include "Platform/Concurrency/AsyncStream.hpp"
#include "Platform/Concurrency/Executor.hpp"

namespace fluvio {

// The reconnection attempts a session allows until told otherwise.
inline constexpr int kSession_maxRetryCount = 3;

// A connection that owns one stream. Implementations are constructed from a
// URL, a SessionMode and an optional SessionConfiguration, by their factory.
class Session : public NetworkConnection {
 public:
  using NetworkConnection::NetworkConnection;

  // connecting, open, closing, closed, as the implementation reports them.
  virtual platform::Async<platform::AsyncStream<SessionReadyState>> readyState() = 0;
  virtual platform::Async<std::shared_ptr<StreamConvertible>> stream() = 0;
  virtual platform::Async<void> setMaxRetryCount(int maxRetryCount) = 0;
  // Opens the session and its stream in the session's mode; `onDisconnected`
  // runs when the peer has closed the connection. Throws the transport's errors.
  virtual platform::Async<void> connect(std::function<void()> onDisconnected) = 0;
};

}  // namespace fluvio
