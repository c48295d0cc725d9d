#include "Platform/ReplayKit/RPBroadcastSampleHandler.hpp"

#include "Platform/Foundation/LocalizedError.hpp"

namespace platform {

void RPBroadcastSampleHandler::broadcastStarted(const std::optional<RPBroadcastSetupInfo>&) {}
void RPBroadcastSampleHandler::processSampleBuffer(const CMSampleBuffer&, RPSampleBufferType) {}
void RPBroadcastSampleHandler::broadcastPaused() {}
void RPBroadcastSampleHandler::broadcastResumed() {}
void RPBroadcastSampleHandler::broadcastFinished() {}

void RPBroadcastSampleHandler::finishBroadcastWithError(const std::exception& error) {
  FinishHandler handler;
  {
    const std::lock_guard lock(mutex_);
    handler = std::exchange(finishHandler_, nullptr);
  }
  if (handler) handler(localizedDescription(error));
}

void RPBroadcastSampleHandler::setFinishHandler(FinishHandler handler) {
  const std::lock_guard lock(mutex_);
  finishHandler_ = std::move(handler);
}

}  // namespace platform
