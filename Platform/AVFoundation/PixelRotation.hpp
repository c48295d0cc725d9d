#pragma once

#include <memory>

#include "Platform/CoreMedia/CVPixelBuffer.hpp"

namespace platform {

// A picture turned by quarter turns clockwise, then mirrored left to right,
// as a new buffer of the same pixel format (4:2:0 bi-planar or planar, or
// 32-bit packed). Nothing for another format or odd sides on 4:2:0 after a
// quarter turn.
std::shared_ptr<CVPixelBuffer> rotatedPixelBuffer(CVPixelBuffer& source, int quarterTurns, bool mirrored);

}  // namespace platform
