#include "Fluvio/Sources/Codec/VTDecompressionSessionAdapter.hpp"

#include "Fluvio/Sources/Codec/VTSessionError.hpp"

namespace fluvio {
namespace {

constexpr platform::VTDecodeFrameFlags decodeFlags =
    platform::kVTDecodeFrame_EnableAsynchronousDecompression | platform::kVTDecodeFrame_EnableTemporalProcessing;

}  // namespace

std::shared_ptr<VTDecompressionSessionAdapter> VTDecompressionSessionAdapter::make(
    const std::shared_ptr<const platform::CMFormatDescription>& inputFormat) {
  if (!inputFormat) throw VTSessionError(VTSessionError::Case::failedToCreate, platform::kVTParameterErr);
  const auto created = platform::VTDecompressionSession::make(
      inputFormat, nullptr, makeImageBufferAttributes(VTSessionMode::decompression, inputFormat));
  if (!created) {
    throw VTSessionError(VTSessionError::Case::failedToCreate,
                         created.status != platform::noErr ? created.status : platform::kVTAllocationFailedErr);
  }
  return std::make_shared<VTDecompressionSessionAdapter>(created.value);
}

platform::OSStatus VTDecompressionSessionAdapter::applyOption(const VTSessionOption& option) {
  return session_->setProperty(option.key.rawValue, option.value);
}

platform::OSStatus VTDecompressionSessionAdapter::setProperties(const platform::VTPropertyDictionary& properties) {
  return session_->setProperties(properties);
}

void VTDecompressionSessionAdapter::convert(const platform::CMSampleBuffer& sampleBuffer,
                                            const Continuation& continuation) {
  const auto status = session_->decodeFrame(
      sampleBuffer, decodeFlags,
      [continuation](platform::OSStatus, platform::VTDecodeInfoFlags, std::shared_ptr<platform::CVPixelBuffer> imageBuffer,
                     const platform::CMTime& presentationTimeStamp, const platform::CMTime& presentationDuration) {
        if (!imageBuffer) return;
        const auto format = platform::CMFormatDescription::makeForImageBuffer(*imageBuffer);
        if (!format) return;
        const platform::CMSampleTimingInfo timing{presentationDuration, presentationTimeStamp, platform::CMTime::invalid};
        const auto decoded = platform::CMSampleBuffer::makeReadyWithImageBuffer(imageBuffer, format.value, timing);
        if (decoded) continuation.yield(*decoded.value);
      });
  if (status != platform::noErr) throw VTSessionError(VTSessionError::Case::failedToConvert, status);
}

}  // namespace fluvio
