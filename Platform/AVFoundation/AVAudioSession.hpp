#pragma once

#include <memory>
#include <mutex>

#include "Platform/AVFoundation/AVAudioSessionPort.hpp"
#include "Platform/AVFoundation/AVAudioSessionRouteDescription.hpp"

namespace platform {

// The process's audio session. Nothing here detects the machine's outputs:
// whoever knows them (the host program, a test) states the current route.
// Safe to use from any thread.
class AVAudioSession {
 public:
  using Port = AVAudioSessionPort;

  static AVAudioSession& sharedInstance();

  // The built-in speaker until a route is stated.
  std::shared_ptr<AVAudioSessionRouteDescription> currentRoute() const;
  // None states a route without outputs.
  void setCurrentRoute(std::shared_ptr<AVAudioSessionRouteDescription> route);

 private:
  AVAudioSession();

  mutable std::mutex mutex_;
  std::shared_ptr<AVAudioSessionRouteDescription> currentRoute_;
};

}  // namespace platform
