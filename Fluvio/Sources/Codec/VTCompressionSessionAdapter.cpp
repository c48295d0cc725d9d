#include "Fluvio/Sources/Codec/VTCompressionSessionAdapter.hpp"

#include <cmath>

#include "Fluvio/Sources/Codec/VTSessionError.hpp"
#include "Fluvio/Sources/Codec/VideoCodecSettings.hpp"

namespace fluvio {
namespace {

constexpr double maximumSide = 16384;

// A side the encoder can take: finite and within 1..16384 once the fraction is dropped.
std::optional<std::int32_t> pictureSide(double side) {
  if (!std::isfinite(side)) return std::nullopt;
  const double whole = std::trunc(side);
  if (whole < 1 || whole > maximumSide) return std::nullopt;
  return static_cast<std::int32_t>(whole);
}

}  // namespace

std::shared_ptr<VTCompressionSessionAdapter> VTCompressionSessionAdapter::make(
    const VideoCodecSettings& settings, const std::shared_ptr<const platform::CMFormatDescription>& inputFormat) {
  const auto width = pictureSide(settings.videoSize.width);
  const auto height = pictureSide(settings.videoSize.height);
  if (!width || !height) throw VTSessionError(VTSessionError::Case::failedToCreate, platform::kVTParameterErr);

  std::optional<platform::VTPropertyDictionary> encoderSpecification;
  if (settings.isLowLatencyRateControlEnabled) {
    encoderSpecification = platform::VTPropertyDictionary{
        {std::string(platform::kVTVideoEncoderSpecification_EnableLowLatencyRateControl), true}};
  }
  const platform::CMVideoCodecType codecType = settings.format == VideoCodecSettings::Format::hevc
                                                   ? platform::kCMVideoCodecType_HEVC
                                                   : platform::kCMVideoCodecType_H264;
  const auto created =
      platform::VTCompressionSession::make(*width, *height, codecType, encoderSpecification ? &*encoderSpecification : nullptr,
                                           makeImageBufferAttributes(VTSessionMode::compression, inputFormat));
  if (!created) {
    throw VTSessionError(VTSessionError::Case::failedToCreate,
                         created.status != platform::noErr ? created.status : platform::kVTAllocationFailedErr);
  }
  auto adapter = std::make_shared<VTCompressionSessionAdapter>(created.value);
  if (const auto status = adapter->applyOptions(settings.sessionOptions()); status != platform::noErr) {
    throw VTSessionError(VTSessionError::Case::failedToPrepare, status);
  }
  if (const auto status = created.value->prepareToEncodeFrames(); status != platform::noErr) {
    throw VTSessionError(VTSessionError::Case::failedToPrepare, status);
  }
  if (settings.expectedFrameRate) {
    created.value->setProperty(platform::kVTCompressionPropertyKey_ExpectedFrameRate, *settings.expectedFrameRate);
  }
  return adapter;
}

platform::OSStatus VTCompressionSessionAdapter::applyOption(const VTSessionOption& option) {
  return session_->setProperty(option.key.rawValue, option.value);
}

platform::OSStatus VTCompressionSessionAdapter::setProperties(const platform::VTPropertyDictionary& properties) {
  return session_->setProperties(properties);
}

void VTCompressionSessionAdapter::convert(const platform::CMSampleBuffer& sampleBuffer, const Continuation& continuation) {
  const auto& imageBuffer = sampleBuffer.imageBuffer();
  if (!imageBuffer) return;
  const auto status = session_->encodeFrame(
      imageBuffer, sampleBuffer.presentationTimeStamp(), sampleBuffer.duration(),
      [continuation](platform::OSStatus, platform::VTEncodeInfoFlags, std::shared_ptr<platform::CMSampleBuffer> encoded) {
        if (encoded) continuation.yield(*encoded);
      });
  if (status != platform::noErr) throw VTSessionError(VTSessionError::Case::failedToConvert, status);
}

}  // namespace fluvio
