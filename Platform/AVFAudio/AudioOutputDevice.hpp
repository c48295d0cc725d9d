#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "Platform/AVFAudio/AVAudioFormat.hpp"
#include "Platform/AVFAudio/AVAudioPCMBuffer.hpp"

namespace platform {

// Where an engine's mix goes. While started, the device asks for one period
// after another, in its own format, on a render thread of its own.
class AudioOutputDevice {
 public:
  // Fills all of `buffer` (the device's format, frame length = capacity = one
  // period) with the audio due at `hostTime`.
  using RenderBlock = std::function<void(AVAudioPCMBuffer& buffer, std::uint64_t hostTime)>;

  virtual ~AudioOutputDevice() = default;

  virtual const std::shared_ptr<AVAudioFormat>& format() const noexcept = 0;
  // False when the device cannot play; starting a started device changes nothing.
  virtual bool start(RenderBlock render) = 0;
  // Returns once the device's render thread has ended, except when called
  // from inside a render, which it only asks to be the last.
  virtual void stop() = 0;
};

}  // namespace platform
