#pragma once

#include <cstddef>
#include <memory>
#include <span>

#include "Platform/CoreMedia/CMBlockBuffer.hpp"
#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace platform {

// One encoded frame of length-prefixed units as a sample; all but key
// frames are marked not sync.
StatusOr<CMSampleBuffer> makeEncodedSample(std::shared_ptr<CMBlockBuffer> bytes,
                                           std::shared_ptr<const CMFormatDescription> formatDescription,
                                           const CMSampleTimingInfo& timing, bool keyFrame);

// The same for a frame of `size` bytes that `write` writes into the
// sample's own block, straight from the encoder's output.
template <class Write>
StatusOr<CMSampleBuffer> makeEncodedSample(std::size_t size, Write&& write,
                                           std::shared_ptr<const CMFormatDescription> formatDescription,
                                           const CMSampleTimingInfo& timing, bool keyFrame) {
  auto bytes = CMBlockBuffer::make(size);
  if (!bytes) return {bytes.status, nullptr};
  std::forward<Write>(write)(bytes.value->mutableData());
  return makeEncodedSample(std::move(bytes.value), std::move(formatDescription), timing, keyFrame);
}

}  // namespace platform
