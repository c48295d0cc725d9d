#pragma once

#include "Platform/AVFoundation/CGGeometry.hpp"

namespace platform {

// How much of the pixel centred at (x, y) a rectangle with rounded corners
// covers, 0...1: one minus half a pixel of signed distance to its edge. The
// CPU masks and the GL shader use this one rule, so their edges agree.
double roundedRectCoverage(const CGRect& rect, CGFloat radius, double x, double y) noexcept;

}  // namespace platform
