#pragma once

#include <cstdint>
#include <memory>

#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace platform::broadcastservice {

// The rate at which the service delivers pictures.
inline constexpr int screenFramesPerSecond = 30;

// Where the broadcast's pictures come from: one BGRA frame per tick, stamped
// with the tick's host time.
class ScreenSource {
 public:
  virtual ~ScreenSource() = default;
  // Nothing when no picture could be had for this tick.
  virtual std::shared_ptr<CMSampleBuffer> frame(std::uint64_t hostTime, std::uint64_t index) = 0;
};

// Wraps a filled picture as a video sample buffer at `hostTime`.
std::shared_ptr<CMSampleBuffer> makeFrameSampleBuffer(std::shared_ptr<CVPixelBuffer> picture,
                                                      const std::shared_ptr<const CMFormatDescription>& format,
                                                      std::uint64_t hostTime);

}  // namespace platform::broadcastservice
