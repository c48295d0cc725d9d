#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "Platform/AVFoundation/AVAudioSessionPortDescription.hpp"

namespace platform {

// Where the audio of the session goes.
class AVAudioSessionRouteDescription {
 public:
  using Ports = std::vector<std::shared_ptr<AVAudioSessionPortDescription>>;

  // Absent ports are left out.
  static std::shared_ptr<AVAudioSessionRouteDescription> make(Ports outputs) {
    std::erase(outputs, nullptr);
    return std::shared_ptr<AVAudioSessionRouteDescription>(new AVAudioSessionRouteDescription(std::move(outputs)));
  }

  const Ports& outputs() const noexcept { return outputs_; }

 private:
  explicit AVAudioSessionRouteDescription(Ports outputs) : outputs_(std::move(outputs)) {}

  Ports outputs_;
};

}  // namespace platform
