#include "Platform/AVFoundation/AVAssetReader.hpp"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace platform {

namespace {

AVPixelFormat outputFormat(OSType pixelFormatType) {
  switch (pixelFormatType) {
    case kCVPixelFormatType_32ARGB: return AV_PIX_FMT_ARGB;
    case kCVPixelFormatType_32BGRA: return AV_PIX_FMT_BGRA;
    case kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange: return AV_PIX_FMT_NV12;
    default: return AV_PIX_FMT_NONE;
  }
}

}  // namespace

std::shared_ptr<AVAssetReader> AVAssetReader::make(const AVAsset& asset) {
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, asset.url.c_str(), nullptr, nullptr) < 0) {
    throw Error("cannot open " + asset.url.string());
  }
  if (avformat_find_stream_info(format, nullptr) < 0) {
    avformat_close_input(&format);
    throw Error("cannot read the tracks of " + asset.url.string());
  }
  return std::shared_ptr<AVAssetReader>(new AVAssetReader(format));
}

AVAssetReader::AVAssetReader(AVFormatContext* format)
    : format_(format), videoStream_(av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0)) {
  if (videoStream_ < 0) videoStream_ = -1;
}

AVAssetReader::~AVAssetReader() {
  sws_freeContext(scaler_);
  av_packet_free(&packet_);
  av_frame_free(&frame_);
  avcodec_free_context(&decoder_);
  avformat_close_input(&format_);
}

bool AVAssetReader::startReading() {
  if (status_ != Status::unknown || videoStream_ < 0 || outputFormat(outputPixelFormat_) == AV_PIX_FMT_NONE) {
    return false;
  }
  const AVCodecParameters* parameters = format_->streams[videoStream_]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
  decoder_ = avcodec_alloc_context3(codec);
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (!codec || !decoder_ || !frame_ || !packet_ || avcodec_parameters_to_context(decoder_, parameters) < 0 ||
      avcodec_open2(decoder_, codec, nullptr) < 0) {
    status_ = Status::failed;
    return false;
  }
  status_ = Status::reading;
  return true;
}

void AVAssetReader::cancelReading() {
  if (status_ == Status::reading) status_ = Status::cancelled;
}

std::optional<CMSampleBuffer> AVAssetReader::copyNextSampleBuffer() {
  while (status_ == Status::reading) {
    const int received = avcodec_receive_frame(decoder_, frame_);
    if (received == 0) {
      auto sample = makeSampleBuffer(*frame_);
      av_frame_unref(frame_);
      if (!sample) status_ = Status::failed;
      return sample;
    }
    if (received == AVERROR_EOF) {
      status_ = Status::completed;
      break;
    }
    if (received != AVERROR(EAGAIN)) {
      status_ = Status::failed;
      break;
    }
    if (draining_) {
      status_ = Status::completed;
      break;
    }
    const int read = av_read_frame(format_, packet_);
    if (read < 0) {
      draining_ = true;
      avcodec_send_packet(decoder_, nullptr);
      continue;
    }
    if (packet_->stream_index == videoStream_ && avcodec_send_packet(decoder_, packet_) < 0) status_ = Status::failed;
    av_packet_unref(packet_);
  }
  return std::nullopt;
}

std::optional<CMSampleBuffer> AVAssetReader::makeSampleBuffer(const AVFrame& frame) {
  if (!pool_ || pool_->pixelBufferAttributes().width != frame.width ||
      pool_->pixelBufferAttributes().height != frame.height) {
    CVPixelBufferAttributes attributes;
    attributes.pixelFormatType = outputPixelFormat_;
    attributes.width = frame.width;
    attributes.height = frame.height;
    auto pool = CVPixelBufferPool::make(attributes);
    if (!pool) return std::nullopt;
    pool_ = std::move(pool.value);
    outputFormat_.reset();
  }
  auto buffer = pool_->createPixelBuffer();
  if (!buffer) return std::nullopt;
  scaler_ = sws_getCachedContext(scaler_, frame.width, frame.height, static_cast<AVPixelFormat>(frame.format),
                                 frame.width, frame.height, outputFormat(outputPixelFormat_), SWS_BILINEAR, nullptr,
                                 nullptr, nullptr);
  if (!scaler_) return std::nullopt;
  CVPixelBuffer& pixels = *buffer.value;
  std::uint8_t* planes[4] = {};
  int strides[4] = {};
  for (std::size_t index = 0; index < std::max<std::size_t>(1, pixels.planeCount()); ++index) {
    planes[index] = pixels.isPlanar() ? pixels.baseAddressOfPlane(index) : pixels.baseAddress();
    strides[index] = static_cast<int>(pixels.isPlanar() ? pixels.bytesPerRowOfPlane(index) : pixels.bytesPerRow());
  }
  sws_scale(scaler_, frame.data, frame.linesize, 0, frame.height, planes, strides);
  if (!outputFormat_) {
    auto description = CMFormatDescription::makeForImageBuffer(pixels);
    if (!description) return std::nullopt;
    outputFormat_ = std::move(description.value);
  }
  const AVRational timeBase = format_->streams[videoStream_]->time_base;
  const std::int64_t pts = frame.best_effort_timestamp == AV_NOPTS_VALUE ? 0 : frame.best_effort_timestamp;
  const CMTime presentation = CMTime::makeWithSeconds(static_cast<double>(pts) * av_q2d(timeBase), 90000);
  const CMTime duration = CMTime::makeWithSeconds(static_cast<double>(frame.pkt_duration) * av_q2d(timeBase), 90000);
  auto sample = CMSampleBuffer::makeReadyWithImageBuffer(buffer.value, outputFormat_,
                                                         {duration, presentation, CMTime::invalid});
  if (!sample) return std::nullopt;
  return *sample.value;
}

}  // namespace platform
