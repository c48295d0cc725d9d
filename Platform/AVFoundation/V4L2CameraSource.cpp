#include "Platform/AVFoundation/V4L2CameraSource.hpp"

#include <fcntl.h>
#include <libv4l2.h>
#include <linux/videodev2.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "Platform/AVFoundation/V4L2FrameLayout.hpp"
#include "Platform/CoreMedia/HostClock.hpp"

namespace platform {

namespace {

// A frame larger than this is no camera frame.
constexpr std::uint32_t kLargestFrame = 64u << 20;
// Sizes offered for cameras that take any size within a range.
constexpr CMVideoDimensions kStepwiseSizes[] = {{640, 480}, {1280, 720}, {1920, 1080}};

// An open node, closed with its owner.
class Node {
 public:
  explicit Node(const std::string& path) : fd_(v4l2_open(path.c_str(), O_RDWR | O_NONBLOCK)) {}
  ~Node() {
    if (fd_ >= 0) v4l2_close(fd_);
  }
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;

  bool isOpen() const noexcept { return fd_ >= 0; }
  int fd() const noexcept { return fd_; }
  template <class T>
  bool ioctl(unsigned long request, T& argument) const {
    int result;
    do {
      result = v4l2_ioctl(fd_, request, &argument);
    } while (result < 0 && errno == EINTR);
    return result == 0;
  }

 private:
  int fd_;
};

bool isCaptureNode(const Node& node, v4l2_capability& capability) {
  if (!node.isOpen() || !node.ioctl(VIDIOC_QUERYCAP, capability)) return false;
  const auto caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps : capability.capabilities;
  return (caps & V4L2_CAP_VIDEO_CAPTURE) != 0;
}

std::vector<CMVideoDimensions> frameSizes(const Node& node, std::uint32_t fourcc) {
  std::vector<CMVideoDimensions> sizes;
  v4l2_frmsizeenum size{};
  size.pixel_format = fourcc;
  for (size.index = 0; node.ioctl(VIDIOC_ENUM_FRAMESIZES, size); ++size.index) {
    if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
      sizes.push_back({std::int32_t(size.discrete.width), std::int32_t(size.discrete.height)});
      continue;
    }
    const auto& range = size.stepwise;
    for (const auto candidate : kStepwiseSizes) {
      if (std::uint32_t(candidate.width) >= range.min_width && std::uint32_t(candidate.width) <= range.max_width &&
          std::uint32_t(candidate.height) >= range.min_height && std::uint32_t(candidate.height) <= range.max_height) {
        sizes.push_back(candidate);
      }
    }
    break;
  }
  return sizes;
}

std::vector<std::shared_ptr<AVFrameRateRange>> frameRates(const Node& node, std::uint32_t fourcc,
                                                          CMVideoDimensions size) {
  std::vector<std::shared_ptr<AVFrameRateRange>> ranges;
  v4l2_frmivalenum interval{};
  interval.pixel_format = fourcc;
  interval.width = std::uint32_t(size.width);
  interval.height = std::uint32_t(size.height);
  for (interval.index = 0; node.ioctl(VIDIOC_ENUM_FRAMEINTERVALS, interval); ++interval.index) {
    const auto range =
        interval.type == V4L2_FRMIVAL_TYPE_DISCRETE
            ? makeFrameRateRange(interval.discrete.numerator, interval.discrete.denominator,
                                 interval.discrete.numerator, interval.discrete.denominator)
            : makeFrameRateRange(interval.stepwise.min.numerator, interval.stepwise.min.denominator,
                                 interval.stepwise.max.numerator, interval.stepwise.max.denominator);
    if (range) ranges.push_back(range);
    if (interval.type != V4L2_FRMIVAL_TYPE_DISCRETE) break;
  }
  return ranges;
}

// The camera's own formats (not the ones the library emulates), as the
// formats we deliver, one per pixel format and size.
std::vector<std::shared_ptr<AVCaptureDevice::Format>> formats(const Node& node) {
  std::vector<std::shared_ptr<AVCaptureDevice::Format>> result;
  const auto known = [&](OSType pixelFormat, CMVideoDimensions size) {
    return std::any_of(result.begin(), result.end(), [&](const auto& format) {
      const auto& description = *format->formatDescription();
      return description.mediaSubType() == pixelFormat && description.dimensions().width == size.width &&
             description.dimensions().height == size.height;
    });
  };
  v4l2_fmtdesc description{};
  description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  for (description.index = 0; node.ioctl(VIDIOC_ENUM_FMT, description); ++description.index) {
    if (description.flags & V4L2_FMT_FLAG_EMULATED) continue;
    const auto layout = V4L2FrameLayout::forCamera(description.pixelformat);
    for (const auto size : frameSizes(node, description.pixelformat)) {
      if (known(layout.pixelFormat, size)) continue;
      auto formatDescription = CMFormatDescription::makeVideo(layout.pixelFormat, size);
      if (!formatDescription) continue;
      if (auto format = AVCaptureDevice::Format::make(formatDescription.value,
                                                      frameRates(node, description.pixelformat, size), false)) {
        result.push_back(std::move(format));
      }
    }
  }
  return result;
}

// Sets the size and layout for the device's active format; nothing when the
// node takes neither.
std::optional<std::pair<V4L2FrameLayout, v4l2_pix_format>> configure(const Node& node, const AVCaptureDevice& device) {
  const auto active = device.activeFormat();
  if (!active) return std::nullopt;
  const auto& description = *active->formatDescription();
  const auto pixelFormat = description.mediaSubType();
  const std::uint32_t candidates[] = {pixelFormat == kCVPixelFormatType_32BGRA ? std::uint32_t(V4L2_PIX_FMT_ABGR32)
                                                                                : std::uint32_t(V4L2_PIX_FMT_NV12),
                                      pixelFormat == kCVPixelFormatType_32BGRA ? std::uint32_t(V4L2_PIX_FMT_XBGR32)
                                                                                : std::uint32_t(V4L2_PIX_FMT_YUV420)};
  for (const auto fourcc : candidates) {
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.width = std::uint32_t(description.dimensions().width);
    format.fmt.pix.height = std::uint32_t(description.dimensions().height);
    format.fmt.pix.pixelformat = fourcc;
    format.fmt.pix.field = V4L2_FIELD_NONE;
    if (!node.ioctl(VIDIOC_S_FMT, format) || format.fmt.pix.pixelformat != fourcc) continue;
    if (format.fmt.pix.width != std::uint32_t(description.dimensions().width) ||
        format.fmt.pix.height != std::uint32_t(description.dimensions().height) || format.fmt.pix.sizeimage > kLargestFrame) {
      continue;
    }
    const V4L2FrameLayout layout{fourcc, pixelFormat};
    const auto duration = device.activeVideoMinFrameDuration();
    if (duration.isValid() && duration.value > 0 && duration.timescale > 0) {
      v4l2_streamparm parameters{};
      parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      parameters.parm.capture.timeperframe = {std::uint32_t(duration.value), std::uint32_t(duration.timescale)};
      node.ioctl(VIDIOC_S_PARM, parameters);  // a camera with a fixed rate keeps it
    }
    return std::make_pair(layout, format.fmt.pix);
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::shared_ptr<AVCaptureDevice>> V4L2CameraSource::devices() {
  std::vector<std::string> paths;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/dev", error)) {
    const auto name = entry.path().filename().string();
    if (name.rfind("video", 0) == 0) paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  std::vector<std::shared_ptr<AVCaptureDevice>> devices;
  for (const auto& path : paths) {
    if (auto device = makeDevice(path)) devices.push_back(std::move(device));
  }
  return devices;
}

std::shared_ptr<AVCaptureDevice> V4L2CameraSource::makeDevice(const std::string& path) {
  const Node node(path);
  v4l2_capability capability{};
  if (!isCaptureNode(node, capability)) return nullptr;
  auto offered = formats(node);
  if (offered.empty()) return nullptr;
  const auto text = [](const std::uint8_t* bytes, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(bytes), strnlen(reinterpret_cast<const char*>(bytes), size));
  };
  AVCaptureDevice::Description description{"v4l2:" + text(capability.bus_info, sizeof capability.bus_info) + ":" + path,
                                           text(capability.card, sizeof capability.card),
                                           AVCaptureDeviceType::external,
                                           AVCaptureDevicePosition::unspecified,
                                           AVMediaTypeVideo,
                                           false};
  return AVCaptureDevice::make(std::move(description), std::move(offered), std::make_shared<V4L2CameraSource>(path));
}

bool V4L2CameraSource::isAvailable() const {
  const Node node(path_);
  v4l2_capability capability{};
  return isCaptureNode(node, capability);
}

bool V4L2CameraSource::start(const AVCaptureDevice& device, Deliver deliver, Failure failure) {
  if (thread_.isRunning()) return true;
  auto node = std::make_shared<Node>(path_);
  v4l2_capability capability{};
  if (!isCaptureNode(*node, capability)) return false;
  const auto configured = configure(*node, device);
  if (!configured) return false;
  // Plain variables: clang 14 cannot capture structured bindings.
  const auto layout = configured->first;
  const auto pix = configured->second;
  auto frame = std::make_shared<std::vector<std::uint8_t>>(pix.sizeimage);
  thread_.start([node, layout, pix, frame, deliver = std::move(deliver), failure = std::move(failure)] {
    pollfd readable{node->fd(), POLLIN, 0};
    if (poll(&readable, 1, 200) <= 0) return true;
    const auto got = v4l2_read(node->fd(), frame->data(), frame->size());
    if (got < 0) {
      if (errno == EAGAIN || errno == EINTR) return true;
      // Unplugged or broken: the session hears of it and may restart later.
      failure(AVError::deviceNotConnected);
      return false;
    }
    const auto host = static_cast<std::int64_t>(HostClock::now());
    auto picture = CVPixelBuffer::make(std::int32_t(pix.width), std::int32_t(pix.height), layout.pixelFormat);
    if (!picture) return true;
    picture.value->lockBaseAddress(0);
    const bool copied = layout.copy({frame->data(), std::size_t(got)}, pix.width, pix.height, pix.bytesperline,
                                    *picture.value);
    picture.value->unlockBaseAddress(0);
    if (!copied) return true;
    auto description = CMFormatDescription::makeForImageBuffer(*picture.value);
    const CMSampleTimingInfo timing{CMTime::invalid, CMTime::make(host, 1'000'000'000), CMTime::invalid};
    if (auto sample = CMSampleBuffer::makeReadyWithImageBuffer(picture.value, description.value, timing)) {
      deliver(*sample.value);
    }
    return true;
  });
  return true;
}

}  // namespace platform
