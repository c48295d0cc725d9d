// Cameras through V4L2 and microphones through ALSA: how their formats map,
// and, where the machine has such a device, that it streams.

#include <gtest/gtest.h>

#include <alsa/asoundlib.h>
#include <linux/videodev2.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "Platform/AVFoundation/ALSAMicrophoneSource.hpp"
#include "Platform/AVFoundation/AVCaptureDeviceDiscovery.hpp"
#include "Platform/AVFoundation/ALSASampleFormat.hpp"
#include "Platform/AVFoundation/V4L2CameraSource.hpp"
#include "Platform/AVFoundation/V4L2FrameLayout.hpp"
#include "Platform/Foundation/NotificationCenter.hpp"

namespace platform {
namespace {

TEST(V4L2FrameLayoutTests, CameraFormatsMapToWhatWeDeliver) {
  struct Case {
    std::uint32_t camera;
    std::uint32_t read;
    OSType delivered;
  };
  const Case cases[] = {
      {V4L2_PIX_FMT_NV12, V4L2_PIX_FMT_NV12, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange},
      {V4L2_PIX_FMT_ABGR32, V4L2_PIX_FMT_ABGR32, kCVPixelFormatType_32BGRA},
      {V4L2_PIX_FMT_XBGR32, V4L2_PIX_FMT_XBGR32, kCVPixelFormatType_32BGRA},
      {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_YUV420, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange},
      {V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_YUV420, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange},
      {V4L2_PIX_FMT_RGB24, V4L2_PIX_FMT_YUV420, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange},
  };
  for (const auto& c : cases) {
    const auto layout = V4L2FrameLayout::forCamera(c.camera);
    EXPECT_EQ(layout.readFourcc, c.read) << c.camera;
    EXPECT_EQ(layout.pixelFormat, c.delivered) << c.camera;
  }
}

std::shared_ptr<CVPixelBuffer> lockedBuffer(std::int32_t width, std::int32_t height, OSType format) {
  auto buffer = CVPixelBuffer::make(width, height, format).value;
  buffer->lockBaseAddress(0);
  return buffer;
}

// A planar frame with padded lines becomes one luma and one interleaved
// chroma plane; odd sizes round the chroma up; short frames are refused.
TEST(V4L2FrameLayoutTests, PlanarFramesAreInterleaved) {
  // 5x3 with 6 bytes per line: chroma 3x2 at 3 bytes per line.
  std::vector<std::uint8_t> frame;
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 6; ++x) frame.push_back(std::uint8_t(10 * y + x));
  }
  for (int i = 0; i < 6; ++i) frame.push_back(std::uint8_t(100 + i));  // U
  for (int i = 0; i < 6; ++i) frame.push_back(std::uint8_t(200 + i));  // V
  const auto layout = V4L2FrameLayout::forCamera(V4L2_PIX_FMT_YUYV);
  auto buffer = lockedBuffer(5, 3, layout.pixelFormat);
  ASSERT_TRUE(layout.copy(frame, 5, 3, 6, *buffer));
  for (std::size_t y = 0; y < 3; ++y) {
    for (std::size_t x = 0; x < 5; ++x) {
      EXPECT_EQ(buffer->baseAddressOfPlane(0)[y * buffer->bytesPerRowOfPlane(0) + x], 10 * y + x);
    }
  }
  for (std::size_t y = 0; y < 2; ++y) {
    const auto* row = buffer->baseAddressOfPlane(1) + y * buffer->bytesPerRowOfPlane(1);
    for (std::size_t x = 0; x < 3; ++x) {
      EXPECT_EQ(row[2 * x], 100 + 3 * y + x);
      EXPECT_EQ(row[2 * x + 1], 200 + 3 * y + x);
    }
  }
  frame.pop_back();
  EXPECT_FALSE(layout.copy(frame, 5, 3, 6, *buffer));
  auto other = lockedBuffer(6, 3, layout.pixelFormat);
  EXPECT_FALSE(layout.copy(frame, 5, 3, 6, *other));
  buffer->unlockBaseAddress(0);
  other->unlockBaseAddress(0);
}

// Bi-planar and BGRA frames pass row by row; padding bytes become opaque.
TEST(V4L2FrameLayoutTests, PassThroughLayoutsKeepTheirRows) {
  std::vector<std::uint8_t> nv12(4 * 2 + 4 * 1);
  for (std::size_t i = 0; i < nv12.size(); ++i) nv12[i] = std::uint8_t(i + 1);
  const auto biPlanar = V4L2FrameLayout::forCamera(V4L2_PIX_FMT_NV12);
  auto buffer = lockedBuffer(4, 2, biPlanar.pixelFormat);
  ASSERT_TRUE(biPlanar.copy(nv12, 4, 2, 4, *buffer));
  EXPECT_EQ(buffer->baseAddressOfPlane(0)[buffer->bytesPerRowOfPlane(0) + 3], 8);
  EXPECT_EQ(buffer->baseAddressOfPlane(1)[3], 12);
  EXPECT_FALSE(biPlanar.copy(std::span(nv12).first(nv12.size() - 1), 4, 2, 4, *buffer));
  buffer->unlockBaseAddress(0);

  std::vector<std::uint8_t> bgrx(2 * 2 * 4, 7);
  const auto packed = V4L2FrameLayout::forCamera(V4L2_PIX_FMT_XBGR32);
  auto picture = lockedBuffer(2, 2, packed.pixelFormat);
  ASSERT_TRUE(packed.copy(bgrx, 2, 2, 8, *picture));
  const auto* pixel = picture->baseAddress() + picture->bytesPerRow();
  EXPECT_EQ(pixel[4], 7);
  EXPECT_EQ(pixel[7], 255);
  picture->unlockBaseAddress(0);
}

TEST(V4L2FrameLayoutTests, FrameIntervalsBecomeRates) {
  const auto fixed = makeFrameRateRange(1, 30, 1, 30);
  ASSERT_TRUE(fixed);
  EXPECT_EQ(fixed->minFrameRate(), 30);
  EXPECT_EQ(fixed->maxFrameRate(), 30);
  const auto stepwise = makeFrameRateRange(1, 60, 1, 5);
  ASSERT_TRUE(stepwise);
  EXPECT_EQ(stepwise->minFrameRate(), 5);
  EXPECT_EQ(stepwise->maxFrameRate(), 60);
  const auto ntsc = makeFrameRateRange(1001, 30000, 1001, 30000);
  EXPECT_NEAR(ntsc->maxFrameRate(), 29.97, 0.001);
  EXPECT_FALSE(makeFrameRateRange(0, 30, 1, 30));
  EXPECT_FALSE(makeFrameRateRange(1, 30, 1, 0));
}

TEST(ALSASampleFormatTests, SampleFormatsMapToStreamDescriptions) {
  struct Case {
    int format;
    unsigned channels;
    std::uint32_t bytesPerFrame;
    std::uint32_t bits;
    AudioFormatFlags kind;
  };
  const Case cases[] = {
      {SND_PCM_FORMAT_S16_LE, 2, 4, 16, kAudioFormatFlagIsSignedInteger},
      {SND_PCM_FORMAT_S16_LE, 1, 2, 16, kAudioFormatFlagIsSignedInteger},
      {SND_PCM_FORMAT_S32_LE, 2, 8, 32, kAudioFormatFlagIsSignedInteger},
      {SND_PCM_FORMAT_FLOAT_LE, 1, 4, 32, kAudioFormatFlagIsFloat},
  };
  for (const auto& c : cases) {
    const auto description = makeStreamDescription(c.format, c.channels, 44100);
    ASSERT_TRUE(description) << c.format;
    EXPECT_EQ(description->mSampleRate, 44100);
    EXPECT_EQ(description->mFormatID, kAudioFormatLinearPCM);
    EXPECT_EQ(description->mFormatFlags, c.kind | kAudioFormatFlagIsPacked);
    EXPECT_EQ(description->mBytesPerFrame, c.bytesPerFrame);
    EXPECT_EQ(description->mBytesPerPacket, c.bytesPerFrame);
    EXPECT_EQ(description->mFramesPerPacket, 1u);
    EXPECT_EQ(description->mChannelsPerFrame, c.channels);
    EXPECT_EQ(description->mBitsPerChannel, c.bits);
  }
  EXPECT_FALSE(makeStreamDescription(SND_PCM_FORMAT_U8, 2, 48000));
  EXPECT_FALSE(makeStreamDescription(SND_PCM_FORMAT_S16_BE, 2, 48000));
  EXPECT_FALSE(makeStreamDescription(SND_PCM_FORMAT_S16_LE, 0, 48000));
  EXPECT_FALSE(makeStreamDescription(SND_PCM_FORMAT_S16_LE, 2, 0));
}

// Counts a source's buffers until it has `count`.
class Received {
 public:
  AVCaptureDeviceSource::Deliver deliver() {
    return [this](const CMSampleBuffer& sample) {
      std::lock_guard lock(mutex_);
      samples_.push_back(sample);
      changed_.notify_all();
    };
  }
  bool waitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return samples_.size() >= count; });
  }
  CMSampleBuffer first() {
    std::lock_guard lock(mutex_);
    return samples_.front();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<CMSampleBuffer> samples_;
};

TEST(CaptureHardwareStreaming, CameraDeliversFramesOfItsActiveFormat) {
  const auto cameras = V4L2CameraSource::devices();
  if (cameras.empty()) GTEST_SKIP() << "no V4L2 camera on this machine";
  const auto& camera = cameras.front();
  Received received;
  ASSERT_TRUE(camera->source()->start(*camera, received.deliver(), [](long) {}));
  const bool streamed = received.waitFor(3);
  camera->source()->stop();
  ASSERT_TRUE(streamed);
  const auto dimensions = camera->activeFormat()->formatDescription()->dimensions();
  EXPECT_EQ(received.first().imageBuffer()->width(), std::size_t(dimensions.width));
  EXPECT_EQ(received.first().imageBuffer()->height(), std::size_t(dimensions.height));
}

TEST(CaptureHardwareStreaming, MicrophoneDeliversTimedBuffers) {
  const auto microphones = ALSAMicrophoneSource::devices();
  if (microphones.empty()) GTEST_SKIP() << "no ALSA capture device on this machine";
  const auto& microphone = microphones.front();
  Received received;
  ASSERT_TRUE(microphone->source()->start(*microphone, received.deliver(), [](long) {}));
  const bool streamed = received.waitFor(5);
  microphone->source()->stop();
  ASSERT_TRUE(streamed);
  EXPECT_EQ(received.first().formatDescription()->audioStreamBasicDescription()->mSampleRate,
            ALSAMicrophoneSource::sampleRate);
}

// Devices that come and go between listings are announced once each way and
// keep their object, marked connected or not; nothing is listed after stop.
TEST(AVCaptureDeviceDiscoveryTests, AnnouncesDevicesAsTheyComeAndGo) {
  const auto camera = AVCaptureDevice::make({AVCaptureDevice::Format::make(
      CMFormatDescription::makeVideo(kCVPixelFormatType_32BGRA, {64, 48}).value, {AVFrameRateRange::make(30, 30)},
      false)});
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::shared_ptr<AVCaptureDevice>> listed;
  std::vector<std::string> events;
  int listings = 0;
  const auto lister = [&] {
    std::lock_guard lock(mutex);
    ++listings;
    changed.notify_all();
    return listed;
  };
  auto& center = NotificationCenter::defaultCenter();
  for (const auto name : {AVCaptureDeviceWasConnectedNotification, AVCaptureDeviceWasDisconnectedNotification}) {
    center.addObserver(
        &events,
        [&, name](const Notification& notification) {
          std::lock_guard lock(mutex);
          EXPECT_EQ(notification.object, camera);
          events.emplace_back(name);
          changed.notify_all();
        },
        std::string(name));
  }
  auto discovery = AVCaptureDeviceDiscovery::make(lister, std::chrono::milliseconds(5));
  // After `count` more listings, what was announced.
  const auto afterListings = [&](int count) {
    std::unique_lock lock(mutex);
    const int target = listings + count;
    changed.wait_for(lock, std::chrono::seconds(10), [&] { return listings >= target; });
    return events;
  };
  discovery->startRunning();
  EXPECT_TRUE(afterListings(2).empty());
  {
    std::lock_guard lock(mutex);
    listed = {camera};
  }
  EXPECT_EQ(afterListings(3), std::vector<std::string>{std::string(AVCaptureDeviceWasConnectedNotification)});
  EXPECT_EQ(discovery->devices().size(), 1u);
  {
    std::lock_guard lock(mutex);
    listed.clear();
  }
  EXPECT_EQ(afterListings(3).size(), 2u);
  EXPECT_FALSE(camera->isConnected());
  EXPECT_TRUE(discovery->devices().empty());
  {
    std::lock_guard lock(mutex);
    listed = {camera};
  }
  const auto all = afterListings(3);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all.back(), AVCaptureDeviceWasConnectedNotification);
  EXPECT_TRUE(camera->isConnected());
  discovery->stopRunning();
  {
    // A listing already under way may still end; none may start after it.
    // A real window: a listing that should not happen has no event of its
    // own, and ten polling periods fall due in it.
    std::unique_lock lock(mutex);
    const int stoppedAt = listings;
    EXPECT_FALSE(changed.wait_for(lock, std::chrono::milliseconds(50), [&] { return listings > stoppedAt + 1; }))
        << "listed after the stop";
  }
  center.removeObserver(&events);
}

}  // namespace
}  // namespace platform
