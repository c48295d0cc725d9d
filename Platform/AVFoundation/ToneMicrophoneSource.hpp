#pragma once

#include <cstdint>
#include <memory>

#include "Platform/AVFAudio/AudioRenderThread.hpp"
#include "Platform/AVFoundation/AVCaptureDevice.hpp"
#include "Platform/AVFoundation/AVCaptureDeviceSource.hpp"

namespace platform {

// A microphone that is always there: a 1 kHz sine at a quarter of full
// scale, 48 kHz 16-bit stereo, in buffers of 480 frames (10 ms) stamped on
// the host clock without gaps.
class ToneMicrophoneSource final : public AVCaptureDeviceSource {
 public:
  static constexpr double sampleRate = 48000;
  static constexpr std::uint32_t framesPerBuffer = 480;
  static constexpr double frequency = 1000;

  static std::shared_ptr<AVCaptureDevice> makeDevice();

  bool isAvailable() const override { return true; }
  bool start(const AVCaptureDevice& device, Deliver deliver, Failure failure) override;
  void stop() override { thread_.stop(); }

 private:
  AudioRenderThread thread_;
};

}  // namespace platform
