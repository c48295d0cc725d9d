#pragma once

#include <memory>

#include "Platform/AVFoundation/AVAudioSessionPort.hpp"

namespace platform {

// One port of an audio route.
class AVAudioSessionPortDescription {
 public:
  static std::shared_ptr<AVAudioSessionPortDescription> make(AVAudioSessionPort portType) {
    return std::shared_ptr<AVAudioSessionPortDescription>(new AVAudioSessionPortDescription(portType));
  }

  AVAudioSessionPort portType() const noexcept { return portType_; }

 private:
  explicit AVAudioSessionPortDescription(AVAudioSessionPort portType) : portType_(portType) {}

  AVAudioSessionPort portType_;
};

}  // namespace platform
