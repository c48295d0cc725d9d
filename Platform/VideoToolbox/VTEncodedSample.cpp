#include "Platform/VideoToolbox/VTEncodedSample.hpp"

namespace platform {

StatusOr<CMSampleBuffer> makeEncodedSample(std::shared_ptr<CMBlockBuffer> bytes,
                                           std::shared_ptr<const CMFormatDescription> formatDescription,
                                           const CMSampleTimingInfo& timing, bool keyFrame) {
  const std::size_t size = bytes->dataLength();
  auto sample = CMSampleBuffer::make(std::move(bytes), true, std::move(formatDescription), 1, {&timing, 1}, {&size, 1});
  if (sample && !keyFrame) sample.value->mutableSampleAttachments()[0][CMSampleAttachmentKey::notSync] = true;
  return sample;
}

}  // namespace platform
