#pragma once

#include <cstdint>
#include <memory>

#include "Platform/AVFAudio/AudioRenderThread.hpp"
#include "Platform/AVFoundation/AVCaptureDevice.hpp"
#include "Platform/AVFoundation/AVCaptureDeviceSource.hpp"
#include "Platform/CoreMedia/CVPixelBuffer.hpp"

namespace platform {

// A camera that is always there: a test pattern of vertical bars that move
// by eight pixels per frame, in the active format's size and pixel format
// (4:2:0 bi-planar or BGRA), at the active frame rate.
class SyntheticCameraSource final : public AVCaptureDeviceSource {
 public:
  // The camera device: 640x480, 1280x720 and 1920x1080 in '420v' and BGRA
  // at 1...60 frames per second, 1280x720 '420v' active.
  static std::shared_ptr<AVCaptureDevice> makeDevice(AVCaptureDevicePosition position = AVCaptureDevicePosition::back);

  // Paints frame number `frame` of the pattern into a locked buffer.
  static void paint(CVPixelBuffer& buffer, std::uint64_t frame);

  bool isAvailable() const override { return true; }
  bool start(const AVCaptureDevice& device, Deliver deliver, Failure failure) override;
  void stop() override { thread_.stop(); }

 private:
  AudioRenderThread thread_;
};

}  // namespace platform
