#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "Platform/CoreMedia/CMSampleBuffer.hpp"
#include "Platform/CoreMedia/CVPixelBufferPool.hpp"

namespace platform::broadcastservice {

// The rate at which the service delivers pictures.
inline constexpr int screenFramesPerSecond = 30;

// Where the broadcast's pictures come from: one video-range 4:2:0 bi-planar
// frame per tick, as the phone's screen broadcast delivers them, stamped with
// the tick's host time.
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

// The pictures of one source: a few pooled buffers of its size, handed out
// again once the extension lets go of them. When all of them are still
// held downstream the tick has no picture, so a slow extension loses frames
// instead of growing the service.
class ScreenPictures {
 public:
  static constexpr std::size_t maximumInFlight = 4;
  static constexpr OSType pixelFormatType = kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange;

  static std::optional<ScreenPictures> make(int width, int height);

  // A picture to draw into, or nothing when all are in flight.
  std::shared_ptr<CVPixelBuffer> take() const;
  // A drawn picture as a video sample buffer at `hostTime`.
  std::shared_ptr<CMSampleBuffer> frame(std::shared_ptr<CVPixelBuffer> picture, std::uint64_t hostTime) const;

 private:
  ScreenPictures(std::shared_ptr<CVPixelBufferPool> pool, std::shared_ptr<const CMFormatDescription> format);

  std::shared_ptr<CVPixelBufferPool> pool_;
  std::shared_ptr<const CMFormatDescription> format_;
};

}  // namespace platform::broadcastservice
