#include "Platform/AVFoundation/AVCaptureConnection.hpp"

#include "Platform/AVFoundation/PixelRotation.hpp"

namespace platform {

namespace {

int quarterTurns(AVCaptureVideoOrientation orientation) {
  switch (orientation) {
    case AVCaptureVideoOrientation::landscapeRight: return 0;
    case AVCaptureVideoOrientation::portrait: return 1;
    case AVCaptureVideoOrientation::landscapeLeft: return 2;
    case AVCaptureVideoOrientation::portraitUpsideDown: return 3;
  }
  return 0;
}

}  // namespace

AVCaptureConnection::AVCaptureConnection(std::vector<std::shared_ptr<AVCaptureInputPort>> inputPorts,
                                         const std::shared_ptr<AVCaptureOutput>& output)
    : inputPorts_(std::move(inputPorts)), output_(output),
      isVideo_(output && output->mediaType() == AVMediaTypeVideo) {}

std::shared_ptr<CMSampleBuffer> AVCaptureConnection::process(const CMSampleBuffer& sampleBuffer) const {
  const int turns = quarterTurns(orientation_);
  const bool mirrored = mirrored_;
  if (!isVideo_ || !sampleBuffer.imageBuffer() || (turns == 0 && !mirrored)) {
    return std::make_shared<CMSampleBuffer>(sampleBuffer);
  }
  auto picture = rotatedPixelBuffer(*sampleBuffer.imageBuffer(), turns, mirrored);
  if (!picture) return nullptr;
  auto description = CMFormatDescription::makeForImageBuffer(*picture);
  const auto timing = sampleBuffer.sampleTimingInfo(0).value_or(CMSampleTimingInfo{});
  auto turned = CMSampleBuffer::makeReadyWithImageBuffer(std::move(picture), description.value, timing);
  return turned ? turned.value : nullptr;
}

}  // namespace platform
