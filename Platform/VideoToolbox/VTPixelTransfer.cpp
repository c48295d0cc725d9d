#include "Platform/VideoToolbox/VTPixelTransfer.hpp"

#include <algorithm>
#include <cmath>
#include <thread>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace platform {
namespace {

int even(int value) { return value & ~1; }

// Centres a span of `inner` in `outer`, on an even offset.
int centred(int outer, int inner) { return even((outer - inner) / 2); }

int scaled(int side, double scale) { return std::max(1, static_cast<int>(std::lround(side * scale))); }

// The planes moved to start at (x, y) of the picture.
VTImagePlanes offsetPlanes(const VTImagePlanes& planes, int x, int y, int width, int height) {
  VTImagePlanes moved = planes;
  moved.width = width;
  moved.height = height;
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(planes.format);
  int steps[4] = {};
  av_image_fill_max_pixsteps(steps, nullptr, descriptor);
  for (int plane = 0; plane < 4 && planes.data[plane]; ++plane) {
    const bool chroma = plane == 1 || plane == 2;
    const int planeX = chroma ? x >> descriptor->log2_chroma_w : x;
    const int planeY = chroma ? y >> descriptor->log2_chroma_h : y;
    moved.data[plane] = planes.data[plane] + static_cast<std::ptrdiff_t>(planeY) * planes.linesize[plane] +
                        static_cast<std::ptrdiff_t>(planeX) * steps[plane];
  }
  return moved;
}

// At most this many threads convert one picture.
constexpr unsigned kMaximumSliceThreads = 4;

void keepBytes(void*, std::uint8_t*) {}

// A frame over the planes, its buffer a stand-in that owns nothing: the
// threaded conversion takes frames, and a frame without a buffer would be
// copied (source) or given new memory (destination).
AVFrame* frameOver(const VTImagePlanes& planes) {
  AVFrame* frame = av_frame_alloc();
  if (!frame) return nullptr;
  frame->format = planes.format;
  frame->width = planes.width;
  frame->height = planes.height;
  frame->color_range = planes.fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
  for (int plane = 0; plane < 4; ++plane) {
    frame->data[plane] = planes.data[plane];
    frame->linesize[plane] = planes.linesize[plane];
  }
  frame->buf[0] = av_buffer_create(planes.data[0], 1, keepBytes, nullptr, 0);
  if (!frame->buf[0]) av_frame_free(&frame);
  return frame;
}

bool scaleFrame(SwsContext* context, const VTImagePlanes& from, const VTImagePlanes& to) {
  AVFrame* source = frameOver(from);
  AVFrame* destination = frameOver(to);
  const bool scaled = source && destination && sws_scale_frame(context, destination, source) >= 0;
  av_frame_free(&source);
  av_frame_free(&destination);
  return scaled;
}

}  // namespace

std::optional<VTScalingMode> scalingModeFromString(std::string_view text) {
  if (text == "Normal") return VTScalingMode::normal;
  if (text == "CropSourceToCleanAperture") return VTScalingMode::cropSourceToCleanAperture;
  if (text == "Letterbox") return VTScalingMode::letterbox;
  if (text == "Trim") return VTScalingMode::trim;
  return std::nullopt;
}

VTPlacement VTPlacement::make(int sourceWidth, int sourceHeight, int destinationWidth, int destinationHeight,
                              VTScalingMode mode) {
  const VTRect wholeSource{0, 0, sourceWidth, sourceHeight};
  const VTRect wholeDestination{0, 0, destinationWidth, destinationHeight};
  const double widthRatio = static_cast<double>(destinationWidth) / sourceWidth;
  const double heightRatio = static_cast<double>(destinationHeight) / sourceHeight;
  switch (mode) {
    case VTScalingMode::normal: {
      const int width = std::min(sourceWidth, destinationWidth);
      const int height = std::min(sourceHeight, destinationHeight);
      return {{0, 0, width, height}, {0, 0, width, height}};
    }
    case VTScalingMode::cropSourceToCleanAperture:
      return {wholeSource, wholeDestination};
    case VTScalingMode::letterbox: {
      const double scale = std::min(widthRatio, heightRatio);
      const int width = std::min(destinationWidth, scaled(sourceWidth, scale));
      const int height = std::min(destinationHeight, scaled(sourceHeight, scale));
      return {wholeSource,
              {centred(destinationWidth, width), centred(destinationHeight, height), width, height}};
    }
    case VTScalingMode::trim: {
      const double scale = std::max(widthRatio, heightRatio);
      const int width = std::min(sourceWidth, scaled(destinationWidth, 1 / scale));
      const int height = std::min(sourceHeight, scaled(destinationHeight, 1 / scale));
      return {{centred(sourceWidth, width), centred(sourceHeight, height), width, height}, wholeDestination};
    }
  }
  return {wholeSource, wholeDestination};
}

std::optional<AVPixelFormat> avPixelFormat(OSType pixelFormatType) {
  switch (pixelFormatType) {
    case kCVPixelFormatType_32BGRA:
      return AV_PIX_FMT_BGRA;
    case kCVPixelFormatType_32ARGB:
      return AV_PIX_FMT_ARGB;
    case kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange:
    case kCVPixelFormatType_420YpCbCr8BiPlanarFullRange:
      return AV_PIX_FMT_NV12;
    case kCVPixelFormatType_420YpCbCr8Planar:
      return AV_PIX_FMT_YUV420P;
    case kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange:
      return AV_PIX_FMT_P010LE;
    default:
      return std::nullopt;
  }
}

std::optional<VTImagePlanes> VTImagePlanes::of(const CVPixelBuffer& buffer) {
  const auto format = avPixelFormat(buffer.pixelFormatType());
  if (!format) return std::nullopt;
  VTImagePlanes planes;
  planes.format = *format;
  planes.fullRange = buffer.pixelFormatType() == kCVPixelFormatType_420YpCbCr8BiPlanarFullRange;
  planes.width = static_cast<int>(buffer.width());
  planes.height = static_cast<int>(buffer.height());
  if (!buffer.isPlanar()) {
    planes.data[0] = buffer.baseAddress();
    planes.linesize[0] = static_cast<int>(buffer.bytesPerRow());
    return planes;
  }
  for (std::size_t plane = 0; plane < buffer.planeCount() && plane < 4; ++plane) {
    planes.data[plane] = buffer.baseAddressOfPlane(plane);
    planes.linesize[plane] = static_cast<int>(buffer.bytesPerRowOfPlane(plane));
  }
  return planes;
}

VTImagePlanes VTImagePlanes::of(AVFrame& frame) {
  VTImagePlanes planes;
  planes.format = static_cast<AVPixelFormat>(frame.format);
  planes.fullRange = frame.color_range == AVCOL_RANGE_JPEG || planes.format == AV_PIX_FMT_YUVJ420P;
  planes.width = frame.width;
  planes.height = frame.height;
  for (int plane = 0; plane < 4; ++plane) {
    planes.data[plane] = frame.data[plane];
    planes.linesize[plane] = frame.linesize[plane];
  }
  return planes;
}

VTPixelTransfer::~VTPixelTransfer() { sws_freeContext(context_); }

bool VTPixelTransfer::transfer(const VTImagePlanes& source, const VTImagePlanes& destination, VTScalingMode mode) {
  if (source.width <= 0 || source.height <= 0 || destination.width <= 0 || destination.height <= 0) return false;
  const VTPlacement placement = VTPlacement::make(source.width, source.height, destination.width, destination.height, mode);
  if (placement.destination != VTRect{0, 0, destination.width, destination.height}) {
    std::uint8_t* planes[4];
    std::ptrdiff_t linesizes[4];
    for (int plane = 0; plane < 4; ++plane) {
      planes[plane] = destination.data[plane];
      linesizes[plane] = destination.linesize[plane];
    }
    av_image_fill_black(planes, linesizes, destination.format,
                        destination.fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG, destination.width,
                        destination.height);
  }
  const VTImagePlanes from = offsetPlanes(source, placement.source.x, placement.source.y, placement.source.width,
                                          placement.source.height);
  const VTImagePlanes to = offsetPlanes(destination, placement.destination.x, placement.destination.y,
                                        placement.destination.width, placement.destination.height);
  if (VTBGRAToYUV420::accepts(from, to)) {
    VTBGRAToYUV420::convert(from, to);
    return true;
  }
  if (VTNV12ToYUV420::accepts(from, to)) {
    VTNV12ToYUV420::convert(from, to);
    return true;
  }
  const Conversion conversion{from.width, from.height, from.format, from.fullRange,
                              to.width,   to.height,   to.format,   to.fullRange};
  if (conversion_ != conversion && !makeContext(conversion)) return false;
  return scaleFrame(context_, from, to);
}

bool VTPixelTransfer::makeContext(const Conversion& conversion) {
  sws_freeContext(context_);
  conversion_.reset();
  context_ = sws_alloc_context();
  if (!context_) return false;
  // A screen-sized picture converts in slices on several threads, so the
  // colour conversion does not hold the encoder up by a whole frame's work.
  const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, kMaximumSliceThreads);
  const bool configured = av_opt_set_int(context_, "srcw", conversion.sourceWidth, 0) >= 0 &&
                          av_opt_set_int(context_, "srch", conversion.sourceHeight, 0) >= 0 &&
                          av_opt_set_int(context_, "src_format", conversion.sourceFormat, 0) >= 0 &&
                          av_opt_set_int(context_, "dstw", conversion.destinationWidth, 0) >= 0 &&
                          av_opt_set_int(context_, "dsth", conversion.destinationHeight, 0) >= 0 &&
                          av_opt_set_int(context_, "dst_format", conversion.destinationFormat, 0) >= 0 &&
                          av_opt_set_int(context_, "sws_flags", SWS_BILINEAR, 0) >= 0 &&
                          av_opt_set_int(context_, "threads", threads, 0) >= 0;
  if (!configured || sws_init_context(context_, nullptr, nullptr) < 0) {
    sws_freeContext(context_);
    context_ = nullptr;
    return false;
  }
  const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
  sws_setColorspaceDetails(context_, coefficients, conversion.sourceFullRange, coefficients,
                           conversion.destinationFullRange, 0, 1 << 16, 1 << 16);
  conversion_ = conversion;
  return true;
}

}  // namespace platform
