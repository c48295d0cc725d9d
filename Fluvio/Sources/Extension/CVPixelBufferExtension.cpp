#include "Fluvio/Sources/Extension/CVPixelBufferExtension.hpp"

#include "Platform/CoreImage/CIPixelBufferConverter.hpp"

namespace fluvio {

using namespace platform;

CVPixelBufferError::CVPixelBufferError(Case value, std::int64_t detail) : case_(value), detail_(detail) {
  const char* names[] = {"failedToLock", "failedToUnlock", "unsupportedFormat"};
  message_ = std::string("CVPixelBuffer.Error.") + names[static_cast<int>(value)] + "(" + std::to_string(detail) + ")";
}

CIImage::Pointer makeCIImage(const std::shared_ptr<CVPixelBuffer>& pixelBuffer) {
  if (!CIPixelBufferConverter::isSupported(pixelBuffer->pixelFormatType())) {
    throw CVPixelBufferError::unsupportedFormat(pixelBuffer->pixelFormatType());
  }
  if (const CVReturn status = pixelBuffer->lockBaseAddress(kCVPixelBufferLock_ReadOnly); status != kCVReturnSuccess) {
    throw CVPixelBufferError::failedToLock(status);
  }
  auto image = CIImage::pixelBuffer(pixelBuffer);
  if (const CVReturn status = pixelBuffer->unlockBaseAddress(kCVPixelBufferLock_ReadOnly); status != kCVReturnSuccess) {
    throw CVPixelBufferError::failedToUnlock(status);
  }
  return image;
}

}  // namespace fluvio
