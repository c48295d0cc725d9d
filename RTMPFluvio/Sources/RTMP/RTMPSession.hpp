#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

#include "Fluvio/Sources/Stream/Session.hpp"
#include "Fluvio/Sources/Stream/SessionMode.hpp"
#include "Fluvio/Sources/Util/AsyncStreamed.hpp"
#include "Platform/Concurrency/Continuation.hpp"
#include "Platform/Concurrency/Task.hpp"
#include "RTMPFluvio/Sources/RTMP/RTMPURL.hpp"

namespace rtmpfluvio {

class RTMPConnection;
class RTMPStream;

// One RTMP connection and one stream for a URL that ends in a stream name:
// connects with a few retries after growing pauses, then publishes or plays
// the stream, and tells its owner once when the server closes the link.
class RTMPSession final : public fluvio::Session, public std::enable_shared_from_this<RTMPSession> {
 public:
  RTMPSession(Key key, platform::URL uri, fluvio::SessionMode mode, platform::Executor executor);
  static std::shared_ptr<RTMPSession> make(platform::URL uri, fluvio::SessionMode mode,
                                           platform::Executor executor = platform::globalExecutor());
  ~RTMPSession() override;

  platform::Async<platform::AsyncStream<fluvio::SessionReadyState>> readyState() override;
  platform::Async<std::shared_ptr<fluvio::StreamConvertible>> stream() override;
  platform::Async<void> setMaxRetryCount(int maxRetryCount) override;
  // Returns at once when already connected. A failed connect is retried
  // after 1, 2, 4 ... seconds; the last attempt's error ends it in `closed`.
  // A failed publish or play closes the connection and throws its own error.
  // While another connect is under way it throws invalidState at once.
  platform::Async<void> connect(std::function<void()> disconnected) override;
  platform::Async<bool> connected() override;
  // Closes an open session, or stops a connect and its retries.
  platform::Async<void> close() override;

 private:
  platform::Async<void> connectBody(std::function<void()> disconnected);
  platform::Async<void> closeBody();
  // True when the pause ran out, false when close() stopped it.
  platform::Async<bool> pauseBeforeRetry(std::chrono::seconds pause);
  const std::shared_ptr<RTMPConnection>& connectionOnFirstUse();
  const std::shared_ptr<RTMPStream>& streamOnFirstUse();
  void cancelWatcher();

  fluvio::AsyncStreamed<fluvio::SessionReadyState> readyState_{fluvio::SessionReadyState::closed};
  const RTMPURL uri_;
  const fluvio::SessionMode mode_;
  int retryCount_ = 0;
  int maxRetryCount_ = fluvio::kSession_maxRetryCount;
  std::shared_ptr<RTMPConnection> connection_;
  std::shared_ptr<RTMPStream> stream_;
  std::optional<platform::Task> disconnectedTask_;
  // A connect is running, retry pauses included.
  bool isConnecting_ = false;
  // Raised by close(): a connect begun before it stops retrying.
  std::uint64_t closeCount_ = 0;
  std::optional<platform::Continuation<void>> retryPause_;
};

}  // namespace rtmpfluvio
