#include "Platform/VideoToolbox/VTDecompressionSession.hpp"

#include "Platform/Concurrency/BlockPool.hpp"
#include "Platform/VideoToolbox/VTSessionWorker.hpp"
#include "Platform/VideoToolbox/VTVideoDecoder.hpp"

namespace platform {
namespace {

// Samples queued ahead of the decoder before decodeFrame waits.
constexpr std::size_t samplesInFlight = 8;

}  // namespace

struct VTDecompressionSession::State {
  State() : worker("VTDecompression", samplesInFlight) {}

  // Touched on the worker only.
  VTVideoDecoder decoder;
  VTSessionWorker worker;
};

StatusOr<VTDecompressionSession> VTDecompressionSession::make(
    std::shared_ptr<const CMFormatDescription> videoFormatDescription, const VTPropertyDictionary*,
    const std::optional<CVPixelBufferAttributes>& destinationImageBufferAttributes) {
  if (!videoFormatDescription) return {kVTParameterErr, nullptr};
  quietCodecLogging();
  auto state = std::make_shared<State>();
  // Opened here, before the worker has anything to do, so a bad format fails the creation.
  const OSStatus status =
      state->decoder.open(*videoFormatDescription, destinationImageBufferAttributes.value_or(CVPixelBufferAttributes{}));
  if (status != noErr) return {status, nullptr};
  return {noErr, std::shared_ptr<VTDecompressionSession>(new VTDecompressionSession(std::move(state)))};
}

VTDecompressionSession::VTDecompressionSession(std::shared_ptr<State> state) : state_(std::move(state)) {}

VTDecompressionSession::~VTDecompressionSession() { invalidate(); }

OSStatus VTDecompressionSession::setProperty(std::string_view, const VTPropertyValue&) {
  return kVTPropertyNotSupportedErr;
}

OSStatus VTDecompressionSession::setProperties(const VTPropertyDictionary& properties) {
  return properties.empty() ? noErr : kVTPropertyNotSupportedErr;
}

OSStatus VTDecompressionSession::decodeFrame(const CMSampleBuffer& sampleBuffer, VTDecodeFrameFlags decodeFlags,
                                             OutputHandler outputHandler) {
  if (!outputHandler) return kVTParameterErr;
  // Larger than a job holds in place, and the status is shared with a caller
  // that waits: the sample goes in a block of the block pool.
  struct Decoding {
    CMSampleBuffer sampleBuffer;
    OutputHandler outputHandler;
    OSStatus status = kVTInvalidSessionErr;
  };
  auto decoding = detail::makePooled<Decoding>(Decoding{sampleBuffer, std::move(outputHandler)});
  auto decode = [state = state_, decoding] {
    decoding->status = state->decoder.decode(decoding->sampleBuffer, std::move(decoding->outputHandler));
  };
  if (decodeFlags & kVTDecodeFrame_EnableAsynchronousDecompression) {
    return state_->worker.post(std::move(decode)) ? noErr : kVTInvalidSessionErr;
  }
  state_->worker.postAndWait(std::move(decode));
  return decoding->status;
}

OSStatus VTDecompressionSession::waitForAsynchronousFrames() {
  state_->worker.waitUntilIdle();
  return noErr;
}

OSStatus VTDecompressionSession::finishDelayedFrames() {
  return state_->worker.postAndWait([state = state_] { state->decoder.flush(); }) ? noErr : kVTInvalidSessionErr;
}

Async<void> VTDecompressionSession::room() { return state_->worker.room(); }

void VTDecompressionSession::finishDelayedFramesThenInvalidate(std::function<void()> completed) {
  state_->worker.stopAfter([state = state_, completed = std::move(completed)] {
    state->decoder.flush();
    if (completed) completed();
  });
}

void VTDecompressionSession::invalidate() { state_->worker.stop(); }

}  // namespace platform
