#include "Platform/ReplayKit/Service/ScreenSource.hpp"

#include "Platform/CoreMedia/HostClock.hpp"

namespace platform::broadcastservice {

std::shared_ptr<CMSampleBuffer> makeFrameSampleBuffer(std::shared_ptr<CVPixelBuffer> picture,
                                                      const std::shared_ptr<const CMFormatDescription>& format,
                                                      std::uint64_t hostTime) {
  const CMSampleTimingInfo timing{CMTime::make(1, screenFramesPerSecond), HostClock::time(hostTime), CMTime::invalid};
  return CMSampleBuffer::makeReadyWithImageBuffer(std::move(picture), format, timing).value;
}

std::optional<ScreenPictures> ScreenPictures::make(int width, int height) {
  auto pool = CVPixelBufferPool::make({pixelFormatType, width, height});
  if (!pool) return std::nullopt;
  auto sample = pool.value->createPixelBuffer(maximumInFlight);
  if (!sample) return std::nullopt;
  auto format = CMFormatDescription::makeForImageBuffer(*sample.value);
  if (!format) return std::nullopt;
  return ScreenPictures(pool.value, format.value);
}

ScreenPictures::ScreenPictures(std::shared_ptr<CVPixelBufferPool> pool,
                               std::shared_ptr<const CMFormatDescription> format)
    : pool_(std::move(pool)), format_(std::move(format)) {}

std::shared_ptr<CVPixelBuffer> ScreenPictures::take() const { return pool_->createPixelBuffer(maximumInFlight).value; }

std::shared_ptr<CMSampleBuffer> ScreenPictures::frame(std::shared_ptr<CVPixelBuffer> picture,
                                                      std::uint64_t hostTime) const {
  return makeFrameSampleBuffer(std::move(picture), format_, hostTime);
}

}  // namespace platform::broadcastservice
