#include "Platform/VideoToolbox/VTVideoEncoder.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/opt.h>
}

#include "Platform/VideoToolbox/VTAnnexB.hpp"
#include "Platform/VideoToolbox/VTEncodedSample.hpp"

namespace platform {
namespace {

constexpr int ticksPerSecond = VTFrameClock::ticksPerSecond;

bool isHEVC(const VTEncoderConfiguration& configuration) {
  return configuration.codecType == kCMVideoCodecType_HEVC;
}

int nalUnitType(const VTEncoderConfiguration& configuration, std::span<const std::uint8_t> unit) {
  return isHEVC(configuration) ? (unit[0] >> 1) & 0x3F : unit[0] & 0x1F;
}

// Parameter sets and delimiters travel in the format description, not in samples.
bool isOutOfBand(const VTEncoderConfiguration& configuration, int type) {
  return isHEVC(configuration) ? (type >= 32 && type <= 35) : (type == 7 || type == 8 || type == 9);
}

StatusOr<CMFormatDescription> makeFormatDescription(const VTEncoderConfiguration& configuration,
                                                    std::span<const std::uint8_t> extradata) {
  const std::vector<int> order = isHEVC(configuration) ? std::vector<int>{32, 33, 34} : std::vector<int>{7, 8};
  const auto units = splitAnnexB(extradata);
  std::vector<std::span<const std::uint8_t>> parameterSets;
  for (const int type : order) {
    for (const auto& unit : units) {
      if (nalUnitType(configuration, unit) == type) parameterSets.push_back(unit);
    }
  }
  if (isHEVC(configuration)) return CMFormatDescription::makeFromHEVCParameterSets(parameterSets, lengthPrefixSize);
  return CMFormatDescription::makeFromH264ParameterSets(parameterSets, lengthPrefixSize);
}

AVDictionary* encoderOptions(const VTEncoderConfiguration& configuration) {
  AVDictionary* options = nullptr;
  // Real time: no lookahead, no reordering, one frame out for each frame in.
  av_dict_set(&options, "preset", "veryfast", 0);
  if (configuration.realTime) av_dict_set(&options, "tune", "zerolatency", 0);
  if (!configuration.profile.empty()) av_dict_set(&options, "profile", configuration.profile.c_str(), 0);
  av_dict_set(&options, "forced-idr", "1", 0);
  if (isHEVC(configuration)) {
    av_dict_set(&options, "x265-params", "log-level=error", 0);
    return options;
  }
  // Two slice threads keep a 720p30 frame well inside its period; one per
  // core (the default) cost more CPU in hand-offs, more memory in per-thread
  // state, and no latency.
  av_dict_set(&options, "threads", "2", 0);
  if (configuration.cabac) av_dict_set(&options, "coder", *configuration.cabac ? "cabac" : "cavlc", 0);
  return options;
}

}  // namespace

VTVideoEncoder::VTVideoEncoder(std::int32_t width, std::int32_t height)
    : width_(std::max(2, width & ~1)), height_(std::max(2, height & ~1)) {}

OSStatus VTVideoEncoder::open(const VTEncoderConfiguration& configuration) {
  context_.reset();
  formatDescription_.reset();
  const LibavCodec* library = libavcodec();
  if (!library) return kVTCouldNotFindVideoEncoderErr;
  const AVCodec* codec = library->avcodec_find_encoder_by_name(isHEVC(configuration) ? "libx265" : "libx264");
  if (!codec) return kVTCouldNotFindVideoEncoderErr;
  CodecContextHandle context(library->avcodec_alloc_context3(codec));
  picture_.reset(av_frame_alloc());
  if (!packet_) packet_.reset(library->av_packet_alloc());
  if (!context || !picture_ || !packet_) return kVTAllocationFailedErr;

  context->width = width_;
  context->height = height_;
  context->pix_fmt = AV_PIX_FMT_YUV420P;
  context->time_base = {1, ticksPerSecond};
  context->framerate = av_d2q(frameRate(configuration), 100000);
  context->gop_size = keyFrameInterval(configuration);
  if (!configuration.allowFrameReordering || configuration.realTime) context->max_b_frames = 0;
  if (configuration.level > 0) context->level = configuration.level;
  context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  configuration_ = configuration;
  context_ = std::move(context);
  setRates(configuration);

  AVDictionary* options = encoderOptions(configuration);
  const int opened = library->avcodec_open2(context_.get(), codec, &options);
  av_dict_free(&options);
  if (opened < 0) {
    context_.reset();
    return kVTParameterErr;
  }
  const auto description =
      makeFormatDescription(configuration, {context_->extradata, static_cast<std::size_t>(context_->extradata_size)});
  if (!description) {
    context_.reset();
    return kVTVideoEncoderMalfunctionErr;
  }
  formatDescription_ = description.value;

  picture_->format = AV_PIX_FMT_YUV420P;
  picture_->width = width_;
  picture_->height = height_;
  if (av_frame_get_buffer(picture_.get(), 0) < 0) {
    context_.reset();
    return kVTAllocationFailedErr;
  }
  clock_.restart();
  return noErr;
}

void VTVideoEncoder::setRates(const VTEncoderConfiguration& configuration) {
  const std::int64_t bitRate = configuration.bitRate;
  context_->bit_rate = bitRate;
  context_->rc_max_rate = 0;
  context_->rc_buffer_size = 0;
  if (configuration.rateControl == VTEncoderConfiguration::RateControl::constant && bitRate > 0) {
    context_->rc_max_rate = bitRate;
    context_->rc_buffer_size = static_cast<int>(std::min<std::int64_t>(bitRate, INT32_MAX));
  } else if (configuration.dataRateLimit && bitRate > 0) {
    const auto& limit = *configuration.dataRateLimit;
    context_->rc_max_rate = static_cast<std::int64_t>(limit.bytes * 8 / limit.seconds);
    context_->rc_buffer_size = static_cast<int>(std::min(limit.bytes * 8, double{INT32_MAX}));
  }
}

void VTVideoEncoder::encode(CVPixelBuffer& imageBuffer, const CMTime& presentationTimeStamp,
                            const CMTime& duration, const VTEncoderConfiguration& configuration,
                            OutputHandler outputHandler) {
  // libx264 leaves its average rate where it was when reconfigured live, so
  // any change, rates included, restarts the encoder cleanly on this frame,
  // which then becomes a key frame.
  if (isOpen() && !(configuration == configuration_)) drain();
  if (!isOpen()) {
    if (const OSStatus status = open(configuration); status != noErr) {
      outputHandler(status, kVTEncodeInfo_FrameDropped, nullptr);
      return;
    }
  }
  const auto source = VTImagePlanes::of(imageBuffer);
  if (!source || av_frame_make_writable(picture_.get()) < 0) {
    outputHandler(kVTPixelTransferNotSupportedErr, kVTEncodeInfo_FrameDropped, nullptr);
    return;
  }
  imageBuffer.lockBaseAddress(kCVPixelBufferLock_ReadOnly);
  const bool drawn = transfer_.transfer(*source, VTImagePlanes::of(*picture_), configuration_.scalingMode);
  imageBuffer.unlockBaseAddress(kCVPixelBufferLock_ReadOnly);
  if (!drawn) {
    outputHandler(kVTPixelTransferNotSupportedErr, kVTEncodeInfo_FrameDropped, nullptr);
    return;
  }

  const std::int64_t timeStamp = clock_.timeStampOf(presentationTimeStamp);
  const bool keyFrame = clock_.needsKeyFrame(presentationTimeStamp, duration, configuration_.maxKeyFrameIntervalDuration);
  picture_->pts = timeStamp;
  picture_->pict_type = keyFrame ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
  if (keyFrame) clock_.keyFrameAt(presentationTimeStamp);
  pending_[timeStamp] = {presentationTimeStamp, duration, std::move(outputHandler)};
  if (libavcodec()->avcodec_send_frame(context_.get(), picture_.get()) < 0) {
    auto failed = pending_.extract(timeStamp);
    failed.mapped().outputHandler(kVTVideoEncoderMalfunctionErr, kVTEncodeInfo_FrameDropped, nullptr);
    return;
  }
  receivePackets();
}

void VTVideoEncoder::receivePackets() {
  while (libavcodec()->avcodec_receive_packet(context_.get(), packet_.get()) == 0) {
    emit(*packet_);
    libavcodec()->av_packet_unref(packet_.get());
  }
}

void VTVideoEncoder::emit(const AVPacket& packet) {
  auto entry = pending_.extract(packet.pts);
  if (entry.empty()) return;
  PendingFrame& frame = entry.mapped();
  const bool keyFrame = (packet.flags & AV_PKT_FLAG_KEY) != 0;
  if (keyFrame) clock_.keyFrameAt(frame.presentationTimeStamp);

  splitAnnexB({packet.data, static_cast<std::size_t>(packet.size)}, units_);
  std::erase_if(units_, [this](const auto& unit) { return isOutOfBand(configuration_, nalUnitType(configuration_, unit)); });
  CMSampleTimingInfo timing{frame.duration, frame.presentationTimeStamp, frame.presentationTimeStamp};
  if (context_->has_b_frames > 0) timing.decodeTimeStamp = CMTime::make(packet.dts, ticksPerSecond);
  const auto writeUnits = [this](std::span<std::uint8_t> bytes) {
    for (const auto& unit : units_) bytes = writeLengthPrefixed(unit, bytes);
  };
  const auto sample = makeEncodedSample(lengthPrefixedSize(units_), writeUnits, formatDescription_, timing, keyFrame);
  if (!sample) {
    frame.outputHandler(sample.status, kVTEncodeInfo_FrameDropped, nullptr);
    return;
  }
  frame.outputHandler(noErr, kVTEncodeInfo_Asynchronous, sample.value);
}

void VTVideoEncoder::drain() {
  if (context_ && libavcodec()->avcodec_send_frame(context_.get(), nullptr) == 0) receivePackets();
  context_.reset();
  dropPendingFrames();
}

void VTVideoEncoder::dropPendingFrames() {
  auto pending = std::move(pending_);
  pending_.clear();
  for (auto& [timeStamp, frame] : pending) frame.outputHandler(noErr, kVTEncodeInfo_FrameDropped, nullptr);
}

}  // namespace platform
