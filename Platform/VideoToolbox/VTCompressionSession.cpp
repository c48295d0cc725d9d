#include "Platform/VideoToolbox/VTCompressionSession.hpp"

#include <mutex>
#include <string>
#include <utility>

#include "Platform/Concurrency/BlockPool.hpp"
#include "Platform/VideoToolbox/VTEncoderConfiguration.hpp"
#include "Platform/VideoToolbox/VTSessionWorker.hpp"
#include "Platform/VideoToolbox/VTVideoEncoder.hpp"
#include "Platform/VideoToolbox/VTX264Encoder.hpp"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace platform {
namespace {

constexpr std::int32_t maximumSide = 16384;
// Frames queued ahead of the encoder before encodeFrame waits.
constexpr std::size_t framesInFlight = 3;

// H.264 goes to libx264 directly, which spares a broadcast loading libavcodec.
std::unique_ptr<VTFrameEncoder> makeEncoder(std::int32_t width, std::int32_t height, CMVideoCodecType codecType) {
  if (codecType == kCMVideoCodecType_H264) return std::make_unique<VTX264Encoder>(width, height);
  return std::make_unique<VTVideoEncoder>(width, height);
}

}  // namespace

struct VTCompressionSession::State {
  State(std::int32_t width, std::int32_t height, CMVideoCodecType codecType)
      : encoder(makeEncoder(width, height, codecType)), worker("VTCompression", framesInFlight) {
    configuration.codecType = codecType;
  }

  mutable std::mutex mutex;
  VTEncoderConfiguration configuration;
  VTPropertyDictionary properties;
  // Set by the first frame; the encoder is touched on the worker only from then on.
  bool encoding = false;
  // Taken by the next frame submitted.
  bool keyFrameRequested = false;
  std::unique_ptr<VTFrameEncoder> encoder;
  VTSessionWorker worker;
};

StatusOr<VTCompressionSession> VTCompressionSession::make(
    std::int32_t width, std::int32_t height, CMVideoCodecType codecType, const VTPropertyDictionary*,
    const std::optional<CVPixelBufferAttributes>& sourceImageBufferAttributes) {
  if (width < 1 || height < 1 || width > maximumSide || height > maximumSide) return {kVTParameterErr, nullptr};
  // H.264 is encoded by libx264 directly; only HEVC needs the codec library.
  const LibavCodec* library = codecType == kCMVideoCodecType_HEVC ? libavcodec() : nullptr;
  const bool encoderFound = codecType == kCMVideoCodecType_H264 ||
                            (library && library->avcodec_find_encoder_by_name("libx265"));
  if (!encoderFound) return {kVTCouldNotFindVideoEncoderErr, nullptr};
  if (sourceImageBufferAttributes && sourceImageBufferAttributes->pixelFormatType &&
      !avPixelFormat(*sourceImageBufferAttributes->pixelFormatType)) {
    return {kVTPixelTransferNotSupportedErr, nullptr};
  }
  quietCodecLogging();
  auto state = std::make_shared<State>(width, height, codecType);
  return {noErr, std::shared_ptr<VTCompressionSession>(new VTCompressionSession(std::move(state)))};
}

VTCompressionSession::VTCompressionSession(std::shared_ptr<State> state) : state_(std::move(state)) {}

VTCompressionSession::~VTCompressionSession() { invalidate(); }

OSStatus VTCompressionSession::setProperty(std::string_view key, const VTPropertyValue& value) {
  std::lock_guard lock(state_->mutex);
  if (state_->worker.isStopped()) return kVTInvalidSessionErr;
  const OSStatus status = state_->configuration.set(key, value);
  if (status == noErr) state_->properties.insert_or_assign(std::string(key), value);
  return status;
}

OSStatus VTCompressionSession::setProperties(const VTPropertyDictionary& properties) {
  std::lock_guard lock(state_->mutex);
  if (state_->worker.isStopped()) return kVTInvalidSessionErr;
  VTEncoderConfiguration configuration = state_->configuration;
  for (const auto& [key, value] : properties) {
    if (const OSStatus status = configuration.set(key, value); status != noErr) return status;
  }
  state_->configuration = std::move(configuration);
  for (const auto& [key, value] : properties) state_->properties.insert_or_assign(key, value);
  return noErr;
}

std::optional<VTPropertyValue> VTCompressionSession::copyProperty(std::string_view key) const {
  std::lock_guard lock(state_->mutex);
  const auto found = state_->properties.find(std::string(key));
  if (found == state_->properties.end()) return std::nullopt;
  return found->second;
}

OSStatus VTCompressionSession::prepareToEncodeFrames() {
  VTEncoderConfiguration configuration;
  {
    std::lock_guard lock(state_->mutex);
    if (state_->worker.isStopped()) return kVTInvalidSessionErr;
    // Before the first frame nothing else touches the encoder: opening it
    // here spares the caller a wait for the worker.
    if (!state_->encoding) return state_->encoder->open(state_->configuration);
    configuration = state_->configuration;
  }
  // Shared with the job: a session invalidated meanwhile drops it unrun.
  struct Opening {
    VTEncoderConfiguration configuration;
    OSStatus status = kVTInvalidSessionErr;
  };
  auto opening = detail::makePooled<Opening>(Opening{std::move(configuration)});
  state_->worker.postAndWait(
      [state = state_, opening] { opening->status = state->encoder->open(opening->configuration); });
  return opening->status;
}

OSStatus VTCompressionSession::encodeFrame(std::shared_ptr<CVPixelBuffer> imageBuffer,
                                           const CMTime& presentationTimeStamp, const CMTime& duration,
                                           OutputHandler outputHandler) {
  if (!imageBuffer || !outputHandler) return kVTParameterErr;
  if (!avPixelFormat(imageBuffer->pixelFormatType())) return kVTPixelTransferNotSupportedErr;
  VTEncoderConfiguration configuration;
  bool forceKeyFrame = false;
  {
    std::lock_guard lock(state_->mutex);
    if (state_->worker.isStopped()) return kVTInvalidSessionErr;
    configuration = state_->configuration;
    state_->encoding = true;
    forceKeyFrame = std::exchange(state_->keyFrameRequested, false);
  }
  // Larger than a job holds in place: the frame goes in a block of the block
  // pool that the job owns.
  struct Frame {
    std::shared_ptr<CVPixelBuffer> imageBuffer;
    CMTime presentationTimeStamp;
    CMTime duration;
    VTEncoderConfiguration configuration;
    bool forceKeyFrame;
    OutputHandler outputHandler;
  };
  auto frame = detail::makePooled<Frame>(Frame{std::move(imageBuffer), presentationTimeStamp, duration,
                                               std::move(configuration), forceKeyFrame, std::move(outputHandler)});
  const bool posted = state_->worker.post([state = state_, frame = std::move(frame)] {
    if (frame->forceKeyFrame) state->encoder->requestKeyFrame();
    state->encoder->encode(*frame->imageBuffer, frame->presentationTimeStamp, frame->duration, frame->configuration,
                           std::move(frame->outputHandler));
  });
  return posted ? noErr : kVTInvalidSessionErr;
}

void VTCompressionSession::requestKeyFrame() {
  std::lock_guard lock(state_->mutex);
  state_->keyFrameRequested = true;
}

OSStatus VTCompressionSession::completeFrames() {
  return state_->worker.postAndWait([state = state_] { state->encoder->drain(); }) ? noErr : kVTInvalidSessionErr;
}

Async<void> VTCompressionSession::room() { return state_->worker.room(); }

void VTCompressionSession::completeFramesThenInvalidate(std::function<void()> completed) {
  state_->worker.stopAfter([state = state_, completed = std::move(completed)] {
    state->encoder->drain();
    if (completed) completed();
  });
}

void VTCompressionSession::invalidate() { state_->worker.stop(); }

}  // namespace platform
