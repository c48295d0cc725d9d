#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Platform/CoreMedia/CMFormatDescription.hpp"
#include "Platform/CoreMedia/CMSampleBuffer.hpp"

namespace platform {

// One encoded frame of length-prefixed units as a sample; all but key
// frames are marked not sync.
StatusOr<CMSampleBuffer> makeEncodedSample(std::vector<std::uint8_t>&& bytes,
                                           std::shared_ptr<const CMFormatDescription> formatDescription,
                                           const CMSampleTimingInfo& timing, bool keyFrame);

}  // namespace platform
