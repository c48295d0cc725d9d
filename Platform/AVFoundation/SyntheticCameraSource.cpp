#include "Platform/AVFoundation/SyntheticCameraSource.hpp"

#include <chrono>
#include <cstring>

#include "Platform/CoreMedia/HostClock.hpp"

namespace platform {

namespace {

constexpr double kDefaultFrameRate = 30;

std::shared_ptr<AVCaptureDevice::Format> makeFormat(OSType pixelFormat, std::int32_t width, std::int32_t height) {
  auto description = CMFormatDescription::makeVideo(pixelFormat, {width, height});
  return AVCaptureDevice::Format::make(description.value, {AVFrameRateRange::make(1, 60)}, true);
}

// The frame period the device asks for now.
std::chrono::nanoseconds framePeriod(const AVCaptureDevice& device) {
  const auto duration = device.activeVideoMinFrameDuration();
  const double seconds = duration.timescale > 0 && duration.value > 0 ? double(duration.value) / duration.timescale
                                                                      : 1 / kDefaultFrameRate;
  return std::chrono::nanoseconds(static_cast<std::int64_t>(seconds * 1e9));
}

}  // namespace

std::shared_ptr<AVCaptureDevice> SyntheticCameraSource::makeDevice(AVCaptureDevicePosition position) {
  std::vector<std::shared_ptr<AVCaptureDevice::Format>> formats;
  for (const auto pixelFormat : {kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange, kCVPixelFormatType_32BGRA}) {
    formats.push_back(makeFormat(pixelFormat, 640, 480));
    formats.push_back(makeFormat(pixelFormat, 1280, 720));
    formats.push_back(makeFormat(pixelFormat, 1920, 1080));
  }
  std::swap(formats[0], formats[1]);
  AVCaptureDevice::Description description{
      position == AVCaptureDevicePosition::front ? "synthetic-camera-front" : "synthetic-camera",
      "Test Pattern Camera", AVCaptureDeviceType::builtInWideAngleCamera, position, AVMediaTypeVideo, false};
  return AVCaptureDevice::make(std::move(description), std::move(formats), std::make_shared<SyntheticCameraSource>());
}

void SyntheticCameraSource::paint(CVPixelBuffer& buffer, std::uint64_t frame) {
  const std::size_t shift = (frame * 8) % 256;
  if (buffer.pixelFormatType() == kCVPixelFormatType_32BGRA) {
    for (std::size_t y = 0; y < buffer.height(); ++y) {
      auto* row = buffer.baseAddress() + y * buffer.bytesPerRow();
      for (std::size_t x = 0; x < buffer.width(); ++x) {
        const auto value = static_cast<std::uint8_t>((x + shift) % 256);
        row[4 * x] = value;
        row[4 * x + 1] = static_cast<std::uint8_t>(255 - value);
        row[4 * x + 2] = static_cast<std::uint8_t>(y % 256);
        row[4 * x + 3] = 255;
      }
    }
    return;
  }
  for (std::size_t y = 0; y < buffer.heightOfPlane(0); ++y) {
    auto* row = buffer.baseAddressOfPlane(0) + y * buffer.bytesPerRowOfPlane(0);
    for (std::size_t x = 0; x < buffer.widthOfPlane(0); ++x) row[x] = static_cast<std::uint8_t>(16 + (x + shift) % 220);
  }
  for (std::size_t y = 0; y < buffer.heightOfPlane(1); ++y) {
    auto* row = buffer.baseAddressOfPlane(1) + y * buffer.bytesPerRowOfPlane(1);
    for (std::size_t x = 0; x < buffer.widthOfPlane(1); ++x) {
      row[2 * x] = static_cast<std::uint8_t>(128 + (y % 64) - 32);
      row[2 * x + 1] = static_cast<std::uint8_t>(128 - (y % 64) + 32);
    }
  }
}

bool SyntheticCameraSource::start(const AVCaptureDevice& device, Deliver deliver, Failure) {
  if (thread_.isRunning()) return true;
  auto next = std::make_shared<std::chrono::steady_clock::time_point>(std::chrono::steady_clock::now());
  auto frame = std::make_shared<std::uint64_t>(0);
  thread_.start([this, &device, deliver = std::move(deliver), next, frame] {
    const auto format = device.activeFormat();
    if (!format) return false;
    const auto dimensions = format->formatDescription()->dimensions();
    auto made = CVPixelBuffer::make(dimensions.width, dimensions.height, format->formatDescription()->mediaSubType());
    if (!made) return false;
    auto& buffer = *made.value;
    buffer.lockBaseAddress(0);
    paint(buffer, (*frame)++);
    buffer.unlockBaseAddress(0);
    const auto period = framePeriod(device);
    const auto host = static_cast<std::int64_t>(HostClock::now());
    const CMSampleTimingInfo timing{CMTime::make(period.count(), 1'000'000'000), CMTime::make(host, 1'000'000'000),
                                    CMTime::invalid};
    auto description = CMFormatDescription::makeForImageBuffer(buffer);
    if (auto sample = CMSampleBuffer::makeReadyWithImageBuffer(made.value, description.value, timing)) {
      deliver(*sample.value);
    }
    *next += period;
    return thread_.sleepUntil(*next);
  });
  return true;
}

}  // namespace platform
