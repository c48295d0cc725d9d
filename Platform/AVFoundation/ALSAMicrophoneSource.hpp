#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Platform/AVFAudio/AudioRenderThread.hpp"
#include "Platform/AVFoundation/AVCaptureDevice.hpp"
#include "Platform/AVFoundation/AVCaptureDeviceSource.hpp"

namespace platform {

// A microphone behind an ALSA capture PCM, read in 10 ms periods at 48 kHz
// (the plug layer converts for the hardware) in the first sample format the
// PCM takes of 16-bit, 32-bit and float, stereo when it can. Buffers are
// stamped on the host clock at their first frame.
class ALSAMicrophoneSource final : public AVCaptureDeviceSource {
 public:
  static constexpr unsigned sampleRate = 48000;
  static constexpr unsigned framesPerBuffer = 480;

  explicit ALSAMicrophoneSource(std::string pcmName) : pcmName_(std::move(pcmName)) {}

  // A capture PCM of every sound card that has one.
  static std::vector<std::shared_ptr<AVCaptureDevice>> devices();
  // The PCM by name ("default" reaches the sound server); nothing when it
  // cannot be opened for capture now.
  static std::shared_ptr<AVCaptureDevice> makeDevice(const std::string& pcmName, const std::string& localizedName);

  bool isAvailable() const override;
  bool start(const AVCaptureDevice& device, Deliver deliver, Failure failure) override;
  void stop() override { thread_.stop(); }

 private:
  const std::string pcmName_;
  AudioRenderThread thread_;
};

}  // namespace platform
