#include "bench/capture/EncodeFloor.hpp"

#include <libyuv/convert.h>
#include <libyuv/scale_argb.h>

#include <cstring>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/dict.h>
}

#include "Platform/CoreMedia/HostClock.hpp"

namespace capturebench {
namespace {

constexpr int ticksPerSecond = 90000;
constexpr int framesPerSecond = 30;
constexpr int bytesPerPixel = 4;

}  // namespace

EncodeFloor::EncodeFloor() {
  const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
  context_ = codec ? avcodec_alloc_context3(codec) : nullptr;
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (!context_ || !frame_ || !packet_) throw std::runtime_error("libx264 is not available");
  context_->width = width;
  context_->height = height;
  context_->pix_fmt = AV_PIX_FMT_YUV420P;
  context_->time_base = {1, ticksPerSecond};
  context_->framerate = {framesPerSecond, 1};
  context_->gop_size = 2 * framesPerSecond;
  context_->max_b_frames = 0;
  context_->level = 31;
  context_->bit_rate = 2'200'000;
  context_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "preset", "veryfast", 0);
  av_dict_set(&options, "tune", "zerolatency", 0);
  av_dict_set(&options, "profile", "baseline", 0);
  av_dict_set(&options, "forced-idr", "1", 0);
  const int opened = avcodec_open2(context_, codec, &options);
  av_dict_free(&options);
  frame_->format = AV_PIX_FMT_YUV420P;
  frame_->width = width;
  frame_->height = height;
  if (opened < 0 || av_frame_get_buffer(frame_, 0) < 0) throw std::runtime_error("libx264 cannot be opened");
}

EncodeFloor::~EncodeFloor() {
  av_packet_free(&packet_);
  av_frame_free(&frame_);
  avcodec_free_context(&context_);
}

std::uint64_t EncodeFloor::encode(platform::CVPixelBuffer& picture) {
  const auto start = platform::HostClock::now();
  picture.lockBaseAddress(platform::kCVPixelBufferLock_ReadOnly);
  const int sourceWidth = static_cast<int>(picture.width());
  const int sourceHeight = static_cast<int>(picture.height());
  const auto stride = static_cast<int>(picture.bytesPerRow());
  copy_.resize(std::size_t(stride) * sourceHeight);
  std::memcpy(copy_.data(), picture.baseAddress(), copy_.size());
  picture.unlockBaseAddress(platform::kCVPixelBufferLock_ReadOnly);

  const std::uint8_t* bgra = copy_.data();
  int bgraStride = stride;
  if (sourceWidth != width || sourceHeight != height) {
    scaled_.resize(std::size_t{width} * height * bytesPerPixel);
    libyuv::ARGBScale(bgra, stride, sourceWidth, sourceHeight, scaled_.data(), width * bytesPerPixel, width, height,
                      libyuv::kFilterBilinear);
    bgra = scaled_.data();
    bgraStride = width * bytesPerPixel;
  }
  av_frame_make_writable(frame_);
  libyuv::ARGBToI420(bgra, bgraStride, frame_->data[0], frame_->linesize[0], frame_->data[1], frame_->linesize[1],
                     frame_->data[2], frame_->linesize[2], width, height);
  frame_->pts = nextTimeStamp_;
  nextTimeStamp_ += ticksPerSecond / framesPerSecond;
  if (avcodec_send_frame(context_, frame_) < 0) throw std::runtime_error("libx264 refused a frame");
  while (avcodec_receive_packet(context_, packet_) == 0) av_packet_unref(packet_);
  return platform::HostClock::now() - start;
}

}  // namespace capturebench
