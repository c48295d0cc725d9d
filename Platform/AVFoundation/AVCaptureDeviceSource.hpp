#pragma once

#include <functional>

#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace platform {

class AVCaptureDevice;

// Where a device's media comes from: a synthetic generator, a V4L2 camera or
// an ALSA microphone. While started it delivers sample buffers stamped on the
// host clock from a thread of its own.
class AVCaptureDeviceSource {
 public:
  using Deliver = std::function<void(const CMSampleBuffer& sampleBuffer)>;
  // The device failed for good (an AVError code); no more buffers come.
  using Failure = std::function<void(long code)>;

  virtual ~AVCaptureDeviceSource() = default;

  // Whether the device can be opened now.
  virtual bool isAvailable() const = 0;
  // Reads the device's active format and frame duration as it goes. False
  // when it cannot start; starting a started source changes nothing.
  virtual bool start(const AVCaptureDevice& device, Deliver deliver, Failure failure) = 0;
  // Returns once no more buffers come.
  virtual void stop() = 0;
};

}  // namespace platform
