#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Platform/AVFAudio/AudioRenderThread.hpp"
#include "Platform/AVFoundation/AVCaptureDevice.hpp"
#include "Platform/AVFoundation/AVCaptureDeviceSource.hpp"

namespace platform {

// A camera behind a V4L2 video node, read through the conversion library so
// that any format it knows arrives as 4:2:0 (or BGRA when the camera gives
// that). Frames are stamped on the host clock when they are dequeued.
class V4L2CameraSource final : public AVCaptureDeviceSource {
 public:
  explicit V4L2CameraSource(std::string path) : path_(std::move(path)) {}

  // The capture nodes under /dev that open now, each with its sizes and rates.
  static std::vector<std::shared_ptr<AVCaptureDevice>> devices();
  // Nothing when `path` is no video capture node.
  static std::shared_ptr<AVCaptureDevice> makeDevice(const std::string& path);

  bool isAvailable() const override;
  bool start(const AVCaptureDevice& device, Deliver deliver, Failure failure) override;
  void stop() override { thread_.stop(); }

 private:
  const std::string path_;
  AudioRenderThread thread_;
};

}  // namespace platform
