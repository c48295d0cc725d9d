#pragma once

#include <memory>
#include <optional>

#include "Platform/AVFoundation/CGGeometry.hpp"
#include "Platform/CoreGraphics/CGColorSpace.hpp"
#include "Platform/CoreImage/CIContext.hpp"
#include "Platform/CoreMedia/CVPixelBuffer.hpp"

namespace fluvio {

// Whether the compositing surface works in standard or high dynamic range.
enum class DynamicRangeMode { sdr, hdr };

// The mode's colour space, made once per process; none when it cannot be made.
std::shared_ptr<const platform::CGColorSpace> colorSpace(DynamicRangeMode mode);
// Working and output colour space of the mode; none without a colour space.
std::optional<platform::CIContextOptions> contextOptions(DynamicRangeMode mode);
// The GPU context when one can be had, else the CPU context.
std::shared_ptr<platform::CIContext> makeCIContext(DynamicRangeMode mode);
// Attributes of the buffers frames are rendered into: 32-bit ARGB for sdr,
// 10-bit 4:2:0 for hdr, sides truncated to integers. None for a size that is
// not finite or not within 1...16384.
std::optional<platform::CVPixelBufferAttributes> makePixelBufferAttributes(DynamicRangeMode mode,
                                                                           const platform::CGSize& size);

}  // namespace fluvio
