#include "Platform/VideoToolbox/VTX264Encoder.hpp"

#include <algorithm>
#include <span>

extern "C" {
#include <libavutil/rational.h>
}

#include "Platform/VideoToolbox/VTAnnexB.hpp"
#include "Platform/VideoToolbox/VTEncodedSample.hpp"

namespace platform {
namespace {

// Rows start on this many bytes, as the vector code of the conversions likes.
constexpr int rowAlignment = 64;

int aligned(int bytes) { return (bytes + rowAlignment - 1) / rowAlignment * rowAlignment; }

// Parameter sets and delimiters travel in the format description, not in samples.
bool isOutOfBand(int type) { return type == NAL_SPS || type == NAL_PPS || type == NAL_AUD; }

// The unit without its start code. The encoder writes start codes rather
// than lengths because its rate control counts the bytes it writes: with
// lengths every unit after a frame's first would cost it one byte more than
// it always has.
std::span<const std::uint8_t> payloadOf(const x264_nal_t& unit) {
  const int startCodeSize = unit.b_long_startcode ? 4 : 3;
  return {unit.p_payload + startCodeSize, static_cast<std::size_t>(std::max(0, unit.i_payload - startCodeSize))};
}

void appendLengthPrefixed(std::vector<std::uint8_t>& bytes, std::span<const std::uint8_t> unit) {
  const std::size_t end = bytes.size();
  bytes.resize(end + lengthPrefixSize + unit.size());
  writeLengthPrefixed(unit, std::span(bytes).subspan(end));
}

// Bits as the encoder's kbits, held to what its fields take.
int kilobits(double bits) { return static_cast<int>(std::clamp(bits / 1000, 0.0, double{INT32_MAX})); }

// The buffer was always kept to what a 32-bit count of bits holds.
int bufferKilobits(double bits) { return kilobits(std::min(bits, double{INT32_MAX})); }

// The average rate, and the data-rate limit as the VBV.
void setRates(x264_param_t& parameters, const VTEncoderConfiguration& configuration) {
  const std::int64_t bitRate = configuration.bitRate;
  if (bitRate <= 0) return;
  parameters.rc.i_rc_method = X264_RC_ABR;
  parameters.rc.i_bitrate = kilobits(static_cast<double>(bitRate));
  if (configuration.rateControl == VTEncoderConfiguration::RateControl::constant) {
    parameters.rc.i_vbv_max_bitrate = parameters.rc.i_bitrate;
    parameters.rc.i_vbv_buffer_size = bufferKilobits(static_cast<double>(bitRate));
  } else if (configuration.dataRateLimit) {
    const auto& limit = *configuration.dataRateLimit;
    parameters.rc.i_vbv_max_bitrate = kilobits(limit.bytes * 8 / limit.seconds);
    parameters.rc.i_vbv_buffer_size = bufferKilobits(limit.bytes * 8);
  }
}

}  // namespace

VTX264Encoder::VTX264Encoder(std::int32_t width, std::int32_t height)
    : width_(std::max(2, width & ~1)), height_(std::max(2, height & ~1)) {
  x264_picture_init(&picture_);
  x264_picture_init(&output_);
}

VTX264Encoder::~VTX264Encoder() { close(); }

OSStatus VTX264Encoder::open(const VTEncoderConfiguration& configuration) {
  close();
  // Under one kbit/s the encoder would be given no rate at all, and it keeps
  // a few bytes of every encoder it fails to open.
  if (configuration.bitRate > 0 && kilobits(static_cast<double>(configuration.bitRate)) == 0) return kVTParameterErr;
  x264_param_t parameters;
  // Real time: no lookahead, no reordering, one frame out for each frame in.
  if (x264_param_default_preset(&parameters, "veryfast", configuration.realTime ? "zerolatency" : nullptr) < 0) {
    return kVTParameterErr;
  }
  parameters.i_log_level = X264_LOG_ERROR;
  parameters.i_width = width_;
  parameters.i_height = height_;
  parameters.i_csp = X264_CSP_I420;
  const AVRational rate = av_d2q(frameRate(configuration), 100000);
  parameters.i_fps_num = static_cast<std::uint32_t>(rate.num);
  parameters.i_fps_den = static_cast<std::uint32_t>(rate.den);
  parameters.i_timebase_num = 1;
  parameters.i_timebase_den = VTFrameClock::ticksPerSecond;
  parameters.i_keyint_max = keyFrameInterval(configuration);
  if (!configuration.allowFrameReordering || configuration.realTime) parameters.i_bframe = 0;
  if (configuration.level > 0) parameters.i_level_idc = configuration.level;
  if (configuration.cabac) parameters.b_cabac = *configuration.cabac;
  // Two threads (slice threads in real time) keep a 720p30 frame well inside
  // its period; one per core (the default) cost more CPU in hand-offs, more
  // memory in per-thread state, and no latency.
  parameters.i_threads = 2;
  parameters.b_repeat_headers = 0;
  setRates(parameters, configuration);
  if (!configuration.profile.empty() && x264_param_apply_profile(&parameters, configuration.profile.c_str()) < 0) {
    return kVTParameterErr;
  }
  encoder_ = x264_encoder_open(&parameters);
  if (!encoder_) return kVTParameterErr;
  if (const OSStatus status = readHeaders(); status != noErr) {
    close();
    return status;
  }
  x264_encoder_parameters(encoder_, &parameters);
  reorders_ = parameters.i_bframe > 0;
  configuration_ = configuration;

  const int lumaStride = aligned(width_);
  const int chromaStride = aligned(width_ / 2);
  const std::size_t lumaSize = static_cast<std::size_t>(lumaStride) * height_;
  const std::size_t chromaSize = static_cast<std::size_t>(chromaStride) * (height_ / 2);
  planar_.resize(lumaSize + 2 * chromaSize + rowAlignment);
  planarPlanes_ = {};
  planarPlanes_.format = AV_PIX_FMT_YUV420P;
  planarPlanes_.width = width_;
  planarPlanes_.height = height_;
  planarPlanes_.data[0] = planar_.data();
  planarPlanes_.data[1] = planar_.data() + lumaSize;
  planarPlanes_.data[2] = planar_.data() + lumaSize + chromaSize;
  planarPlanes_.linesize[0] = lumaStride;
  planarPlanes_.linesize[1] = planarPlanes_.linesize[2] = chromaStride;
  clock_.restart();
  return noErr;
}

OSStatus VTX264Encoder::readHeaders() {
  x264_nal_t* units = nullptr;
  int unitCount = 0;
  if (x264_encoder_headers(encoder_, &units, &unitCount) < 0) return kVTVideoEncoderMalfunctionErr;
  std::span<const std::uint8_t> parameterSets[2];
  leadingUnits_.clear();
  for (const x264_nal_t& unit : std::span(units, static_cast<std::size_t>(unitCount))) {
    if (unit.i_type == NAL_SPS) parameterSets[0] = payloadOf(unit);
    if (unit.i_type == NAL_PPS) parameterSets[1] = payloadOf(unit);
    if (unit.i_type == NAL_SEI) appendLengthPrefixed(leadingUnits_, payloadOf(unit));
  }
  const auto description = CMFormatDescription::makeFromH264ParameterSets(parameterSets, lengthPrefixSize);
  if (!description) return kVTVideoEncoderMalfunctionErr;
  formatDescription_ = description.value;
  return noErr;
}

void VTX264Encoder::encode(CVPixelBuffer& imageBuffer, const CMTime& presentationTimeStamp, const CMTime& duration,
                           const VTEncoderConfiguration& configuration, OutputHandler outputHandler) {
  // libx264 leaves its average rate where it was when reconfigured live, so
  // any change, rates included, restarts the encoder cleanly on this frame,
  // which then becomes a key frame.
  if (encoder_ && !(configuration == configuration_)) drain();
  if (!encoder_) {
    if (const OSStatus status = open(configuration); status != noErr) {
      outputHandler(status, kVTEncodeInfo_FrameDropped, nullptr);
      return;
    }
  }
  const auto source = VTImagePlanes::of(imageBuffer);
  if (!source) {
    outputHandler(kVTPixelTransferNotSupportedErr, kVTEncodeInfo_FrameDropped, nullptr);
    return;
  }
  imageBuffer.lockBaseAddress(kCVPixelBufferLock_ReadOnly);
  if (!preparePicture(*source)) {
    imageBuffer.unlockBaseAddress(kCVPixelBufferLock_ReadOnly);
    outputHandler(kVTPixelTransferNotSupportedErr, kVTEncodeInfo_FrameDropped, nullptr);
    return;
  }

  const std::int64_t timeStamp = clock_.timeStampOf(presentationTimeStamp);
  const bool keyFrame = clock_.needsKeyFrame(presentationTimeStamp, duration, configuration_.maxKeyFrameIntervalDuration);
  picture_.i_pts = timeStamp;
  picture_.i_type = keyFrame ? X264_TYPE_IDR : X264_TYPE_AUTO;
  if (keyFrame) clock_.keyFrameAt(presentationTimeStamp);
  pending_.push_back({timeStamp, presentationTimeStamp, duration, std::move(outputHandler)});
  x264_nal_t* units = nullptr;
  int unitCount = 0;
  // The encoder copies the picture in before it returns.
  const int encoded = x264_encoder_encode(encoder_, &units, &unitCount, &picture_, &output_);
  imageBuffer.unlockBaseAddress(kCVPixelBufferLock_ReadOnly);
  if (encoded < 0) {
    PendingFrame failed = std::move(pending_.back());
    pending_.pop_back();
    failed.outputHandler(kVTVideoEncoderMalfunctionErr, kVTEncodeInfo_FrameDropped, nullptr);
    return;
  }
  if (encoded > 0) emit(units, unitCount);
}

bool VTX264Encoder::preparePicture(const VTImagePlanes& source) {
  const bool direct = source.format == AV_PIX_FMT_NV12 && !source.fullRange && source.width == width_ &&
                      source.height == height_;
  const VTImagePlanes& planes = direct ? source : planarPlanes_;
  if (!direct && !transfer_.transfer(source, planarPlanes_, configuration_.scalingMode)) return false;
  picture_.img.i_csp = direct ? X264_CSP_NV12 : X264_CSP_I420;
  picture_.img.i_plane = direct ? 2 : 3;
  for (int plane = 0; plane < 3; ++plane) {
    picture_.img.plane[plane] = planes.data[plane];
    picture_.img.i_stride[plane] = planes.linesize[plane];
  }
  return true;
}

void VTX264Encoder::emit(const x264_nal_t* units, int unitCount) {
  const auto found = std::find_if(pending_.begin(), pending_.end(),
                                  [this](const PendingFrame& frame) { return frame.timeStamp == output_.i_pts; });
  if (found == pending_.end()) return;
  PendingFrame frame = std::move(*found);
  pending_.erase(found);
  const bool keyFrame = output_.b_keyframe != 0;
  if (keyFrame) clock_.keyFrameAt(frame.presentationTimeStamp);

  const std::span<const x264_nal_t> frameUnits(units, static_cast<std::size_t>(unitCount));
  std::size_t size = leadingUnits_.size();
  for (const x264_nal_t& unit : frameUnits) {
    if (!isOutOfBand(unit.i_type)) size += lengthPrefixSize + payloadOf(unit).size();
  }
  const auto writeUnits = [&](std::span<std::uint8_t> bytes) {
    std::copy(leadingUnits_.begin(), leadingUnits_.end(), bytes.begin());
    bytes = bytes.subspan(leadingUnits_.size());
    leadingUnits_.clear();
    for (const x264_nal_t& unit : frameUnits) {
      if (!isOutOfBand(unit.i_type)) bytes = writeLengthPrefixed(payloadOf(unit), bytes);
    }
  };

  CMSampleTimingInfo timing{frame.duration, frame.presentationTimeStamp, frame.presentationTimeStamp};
  if (reorders_) timing.decodeTimeStamp = CMTime::make(output_.i_dts, VTFrameClock::ticksPerSecond);
  const auto sample = makeEncodedSample(size, writeUnits, formatDescription_, timing, keyFrame);
  if (!sample) {
    frame.outputHandler(sample.status, kVTEncodeInfo_FrameDropped, nullptr);
    return;
  }
  frame.outputHandler(noErr, kVTEncodeInfo_Asynchronous, sample.value);
}

void VTX264Encoder::drain() {
  x264_nal_t* units = nullptr;
  int unitCount = 0;
  while (encoder_ && x264_encoder_delayed_frames(encoder_) > 0) {
    const int encoded = x264_encoder_encode(encoder_, &units, &unitCount, nullptr, &output_);
    if (encoded < 0) break;
    if (encoded > 0) emit(units, unitCount);
  }
  close();
  dropPendingFrames();
}

void VTX264Encoder::close() {
  if (encoder_) x264_encoder_close(encoder_);
  encoder_ = nullptr;
  formatDescription_.reset();
}

void VTX264Encoder::dropPendingFrames() {
  auto pending = std::move(pending_);
  pending_.clear();
  for (auto& frame : pending) frame.outputHandler(noErr, kVTEncodeInfo_FrameDropped, nullptr);
}

}  // namespace platform
