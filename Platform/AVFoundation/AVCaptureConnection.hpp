#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "Platform/AVFoundation/AVCaptureInput.hpp"
#include "Platform/AVFoundation/AVCaptureOutput.hpp"
#include "Platform/AVFoundation/AVCaptureVideoOrientation.hpp"

namespace platform {

// Joins input ports to an output. Video passing through is turned to the
// connection's orientation (cameras deliver landscape-right) and mirrored in
// software. The output is held weakly: it holds its connections.
class AVCaptureConnection {
 public:
  AVCaptureConnection(std::vector<std::shared_ptr<AVCaptureInputPort>> inputPorts,
                      const std::shared_ptr<AVCaptureOutput>& output);

  const std::vector<std::shared_ptr<AVCaptureInputPort>>& inputPorts() const noexcept { return inputPorts_; }
  std::shared_ptr<AVCaptureOutput> output() const { return output_.lock(); }
  bool isEnabled() const noexcept { return enabled_; }
  void setEnabled(bool enabled) noexcept { enabled_ = enabled; }

  bool isVideoOrientationSupported() const noexcept { return isVideo_; }
  AVCaptureVideoOrientation videoOrientation() const noexcept { return orientation_; }
  void setVideoOrientation(AVCaptureVideoOrientation orientation) noexcept { orientation_ = orientation; }
  bool isVideoMirroringSupported() const noexcept { return isVideo_; }
  bool isVideoMirrored() const noexcept { return mirrored_; }
  void setVideoMirrored(bool mirrored) noexcept { mirrored_ = mirrored; }
  // No stabilisation is done here.
  bool isVideoStabilizationSupported() const noexcept { return false; }
  AVCaptureVideoStabilizationMode preferredVideoStabilizationMode() const noexcept { return stabilization_; }
  void setPreferredVideoStabilizationMode(AVCaptureVideoStabilizationMode mode) noexcept { stabilization_ = mode; }

  // The buffer as this connection delivers it; itself when nothing changes,
  // none when the picture cannot be turned.
  std::shared_ptr<CMSampleBuffer> process(const CMSampleBuffer& sampleBuffer) const;

 private:
  std::vector<std::shared_ptr<AVCaptureInputPort>> inputPorts_;
  std::weak_ptr<AVCaptureOutput> output_;
  bool isVideo_;
  std::atomic<bool> enabled_{true};
  std::atomic<AVCaptureVideoOrientation> orientation_{AVCaptureVideoOrientation::portrait};
  std::atomic<bool> mirrored_{false};
  std::atomic<AVCaptureVideoStabilizationMode> stabilization_{AVCaptureVideoStabilizationMode::off};
};

}  // namespace platform
