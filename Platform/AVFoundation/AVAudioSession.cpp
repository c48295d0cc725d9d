#include "Platform/AVFoundation/AVAudioSession.hpp"

namespace platform {

AVAudioSession::AVAudioSession()
    : currentRoute_(AVAudioSessionRouteDescription::make(
          {AVAudioSessionPortDescription::make(AVAudioSessionPort::builtInSpeaker)})) {}

AVAudioSession& AVAudioSession::sharedInstance() {
  static AVAudioSession session;
  return session;
}

std::shared_ptr<AVAudioSessionRouteDescription> AVAudioSession::currentRoute() const {
  std::lock_guard lock(mutex_);
  return currentRoute_;
}

void AVAudioSession::setCurrentRoute(std::shared_ptr<AVAudioSessionRouteDescription> route) {
  if (!route) {
    route = AVAudioSessionRouteDescription::make({});
  }
  std::lock_guard lock(mutex_);
  currentRoute_ = std::move(route);
}

}  // namespace platform
