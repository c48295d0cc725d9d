#include "Platform/VideoToolbox/VTEncodedSample.hpp"

#include "Platform/CoreMedia/CMBlockBuffer.hpp"

namespace platform {

StatusOr<CMSampleBuffer> makeEncodedSample(std::vector<std::uint8_t>&& bytes,
                                           std::shared_ptr<const CMFormatDescription> formatDescription,
                                           const CMSampleTimingInfo& timing, bool keyFrame) {
  const std::size_t size = bytes.size();
  auto sample = CMSampleBuffer::make(CMBlockBuffer::make(std::move(bytes)), true, std::move(formatDescription), 1,
                                     {&timing, 1}, {&size, 1});
  if (sample && !keyFrame) sample.value->mutableSampleAttachments()[0][CMSampleAttachmentKey::notSync] = true;
  return sample;
}

}  // namespace platform
