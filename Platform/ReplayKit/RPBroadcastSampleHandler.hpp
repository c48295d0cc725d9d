#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <utility>
#include <optional>
#include <string>

#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/ReplayKit/RPSampleBufferType.hpp"

namespace platform {

using RPBroadcastSetupInfo = std::map<std::string, std::string>;

// What an extension tells the service about its side of the broadcast, for
// the service's status line.
struct RPBroadcastStatistics {
  std::uint64_t bytesSent = 0;
  std::uint64_t bytesQueued = 0;
  std::uint64_t buffersDropped = 0;
  // Frames the server received (it acknowledged them).
  std::uint64_t videoFramesSent = 0;
  // What the stream's own bounded queues dropped between the extension and
  // the server: raw and encoded video frames, encoded audio packets.
  std::uint64_t videoFramesDroppedByStream = 0;
  std::uint64_t audioPacketsDroppedByStream = 0;
  // Frames meant for the server that it does not have (yet, while the
  // broadcast runs): at the end, a backlog that could not be delivered.
  std::uint64_t videoFramesNotDelivered = 0;
};

// The principal class of a broadcast extension derives from this. The
// broadcast service calls the entry points on threads of its own: started
// once, then the sample buffers (one call at a time), paused and resumed,
// and finished once, unless the extension ended the broadcast itself with
// finishBroadcastWithError.
class RPBroadcastSampleHandler {
 public:
  virtual ~RPBroadcastSampleHandler() = default;

  virtual void broadcastStarted(const std::optional<RPBroadcastSetupInfo>& setupInfo);
  virtual void processSampleBuffer(const CMSampleBuffer& sampleBuffer, RPSampleBufferType sampleBufferType);
  virtual void broadcastPaused();
  virtual void broadcastResumed();
  virtual void broadcastFinished();

  // Ends the broadcast from the extension's side, from any thread: the
  // service stops feeding the handler, shows the error's localised
  // description to the user and reports failure. Only the first call counts.
  void finishBroadcastWithError(const std::exception& error);

  virtual RPBroadcastStatistics broadcastStatistics() const { return {}; }

  // The service's side: where an ended broadcast is reported.
  using FinishHandler = std::function<void(const std::string& localizedDescription)>;
  void setFinishHandler(FinishHandler handler);

 private:
  std::mutex mutex_;
  FinishHandler finishHandler_;
};

}  // namespace platform
