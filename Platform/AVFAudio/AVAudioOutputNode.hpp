#pragma once

namespace platform {

class AVAudioEngine;

// The end of an engine's graph, its output device: every player node
// connected to it is mixed into the device.
class AVAudioOutputNode final {
 public:
  AVAudioOutputNode(const AVAudioOutputNode&) = delete;
  AVAudioOutputNode& operator=(const AVAudioOutputNode&) = delete;

 private:
  friend class AVAudioEngine;
  AVAudioOutputNode() = default;
};

}  // namespace platform
